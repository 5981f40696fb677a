// ondraCore's exceptions and their reporter.
#include <cstdio>
#include <mutex>

#include "hosts/workflow/wide_format.h"
#include "ondra/core.h"

namespace ondra {
namespace {

std::mutex reporterLock;
Exception::Reporter reporter = nullptr;
void* reporterCookie = nullptr;

}  // namespace

Exception::Exception(const WideChar* format, ...) {
  va_list args;
  va_start(args, format);
  AppendFormatV(message_, format, args);
  va_end(args);
}

Exception::Exception(const Exception& other) = default;
Exception& Exception::operator=(const Exception& other) = default;
Exception::~Exception() = default;

const WideChar* Exception::getMessage() const { return message_.c_str(); }

void Exception::report() const {
  Reporter r;
  void* cookie;
  {
    std::lock_guard<std::mutex> hold(reporterLock);
    r = reporter;
    cookie = reporterCookie;
  }
  if (r != nullptr) r(*this, cookie);
}

void Exception::appendMessage(const WideChar* format, ...) {
  if (!message_.empty()) message_ += WIDE('\n');
  va_list args;
  va_start(args, format);
  AppendFormatV(message_, format, args);
  va_end(args);
}

void Exception::SetReporter(Reporter r, void* cookie) {
  std::lock_guard<std::mutex> hold(reporterLock);
  reporter = r;
  reporterCookie = cookie;
}

MemoryException::MemoryException(std::size_t count, std::size_t elementSize) noexcept
    : count_(count), elementSize_(elementSize) {
  std::snprintf(text_, sizeof text_, "Out of memory: %zu elements of %zu bytes", count, elementSize);
}

const char* MemoryException::what() const noexcept { return text_; }

}  // namespace ondra
