#include "support/err_obj.h"

#include <atomic>

#include "platform/process.h"

namespace {

std::atomic<ErrObj::Reporter> reporter{nullptr};

struct NamedCode {
  uint32_t code;
  const WideChar* name;
};

constexpr NamedCode kNames[] = {
    {0x80000002u, WIDE("EXCEPTION_DATATYPE_MISALIGNMENT")},
    {0xC0000005u, WIDE("EXCEPTION_ACCESS_VIOLATION")},
    {0xC0000006u, WIDE("EXCEPTION_IN_PAGE_ERROR")},
    {0xC000001Du, WIDE("EXCEPTION_ILLEGAL_INSTRUCTION")},
    {0xC0000025u, WIDE("EXCEPTION_NONCONTINUABLE_EXCEPTION")},
    {0xC000008Cu, WIDE("EXCEPTION_ARRAY_BOUNDS_EXCEEDED")},
    {0xC0000094u, WIDE("EXCEPTION_INT_DIVIDE_BY_ZERO")},
    {0xC0000095u, WIDE("EXCEPTION_INT_OVERFLOW")},
    {0xC00000FDu, WIDE("EXCEPTION_STACK_OVERFLOW")},
};

}  // namespace

ErrObj::ErrObj(const platform::ExceptionPointers* pointers) : code(0), systemError(false) {
  if (pointers == nullptr || pointers->ExceptionRecord == nullptr) return;
  const platform::ExceptionRecordInfo record = *pointers->ExceptionRecord;
  code = record.ExceptionCode;
  for (const NamedCode& entry : kNames) {
    if (entry.code == code) {
      description = entry.name;
      break;
    }
  }
}

ErrObj::ErrObj(uint32_t systemErrorCode, bool isSystemError)
    : code(systemErrorCode), systemError(isSystemError) {}

ErrObj::~ErrObj() = default;

WideString ErrObj::GetDescription() const {
  if (description.empty()) {
    description = systemError ? SystemErrorText(code) : WideString(WIDE("No desc"));
  }
  return description;
}

uint32_t ErrObj::GetCode() const { return code; }

void ErrObj::Report(int32_t /*unused*/) const {
  const Reporter r = reporter.load();
  if (r != nullptr) r(*this);
}

void ErrObj::SetReporter(Reporter r) { reporter.store(r); }

WideString SystemErrorText(uint32_t code) {
  WideString text;
  if (!platform::SystemMessage(code, &text)) return WideString();
  const size_t cr = text.find(WIDE('\r'));
  if (cr != WideString::npos) text.resize(cr);
  return text;
}

void TranslateStructuredException(unsigned int /*code*/, platform::ExceptionPointers* pointers) {
  throw ErrObj(pointers);
}
