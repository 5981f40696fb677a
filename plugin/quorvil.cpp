#include "plugin/quorvil.h"

#include <memory>
#include <new>

#include "support/err_obj.h"
#include "support/log_module.h"

namespace {

// The command text as the host wrote it: read up to the first zero unit
// within the bytes it was given, whatever their count.
WideString CommandText(const unsigned char* buffer, int32_t size) {
  WideString text;
  if (buffer == nullptr || size < 2) return text;
  const size_t units = static_cast<size_t>(size) / 2;
  for (size_t i = 0; i < units; ++i) {
    const WideChar unit =
        static_cast<WideChar>(buffer[2 * i] | (static_cast<unsigned>(buffer[2 * i + 1]) << 8));
    if (unit == 0) break;
    text += unit;
  }
  return text;
}

}  // namespace

void HandleCommand(HostCommand* command) {
  platform::SetFaultTranslator(TranslateStructuredException);

  WideString name;
  command->GetName(name);
  AttributeMap attributes;
  command->attributeSource.FillAttributes(attributes);
  CommandContext* context = command->GetContext();
  const int32_t dataSize = context->GetRequest()->GetDataSize();

  // Two spare zero bytes past what the host is told: a text without its
  // terminator still ends inside the buffer.
  const size_t bytes = dataSize > 0 ? static_cast<size_t>(dataSize) : 0;
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[bytes + 2]());
  int32_t size = dataSize;
  if (buffer != nullptr) context->ReadData(buffer.get(), &size);
  const WideString text = CommandText(buffer.get(), dataSize);

  context->GetRequest()->GetSoap();

  mainLog.Print(u"TemplateConfig----wsxml = %s", text.c_str());
  mainLog.Print(u"TemplateConfig----name = %s", name.c_str());
}
