// A plug-in for the agent request fuzzer: reads everything the host offers
// (name, attributes, command text, every MIME part byte) and sets a result,
// so that the sanitizers see each read the host's objects allow.
#include <stdsoap2.h>

#include <cstdint>
#include <memory>

#include "plugin/exports.h"

QUORVIL_EXPORT int InitModule() { return 0; }
QUORVIL_EXPORT int UninitModule() { return 0; }
QUORVIL_EXPORT int GetInfo() { return 0; }
QUORVIL_EXPORT int RunTimeRoutine() { return 0; }
QUORVIL_EXPORT int GetPluginVersion() { return 0; }
QUORVIL_EXPORT int SetDbg() { return 0; }

QUORVIL_EXPORT int PostCommand(HostCommand* command) {
  uint32_t sum = 0;
  WideString name;
  command->GetName(name);
  for (WideChar c : name) sum += c;
  AttributeMap attributes;
  AttributeSourceOf(*command).FillAttributes(attributes);
  for (const auto& a : attributes) sum += static_cast<uint32_t>(a.first.size() + a.second.size());
  CommandContext* context = command->GetContext();
  int32_t size = context->GetRequest()->GetDataSize();
  if (size > 0) {
    std::unique_ptr<unsigned char[]> data(new unsigned char[static_cast<size_t>(size)]);
    context->ReadData(data.get(), &size);
    for (int32_t i = 0; i < size; ++i) sum += data[i];
  }
  struct soap* received = context->GetRequest()->GetReceivedSoap();
  for (const soap_multipart* part = received != nullptr ? received->mime.list : nullptr;
       part != nullptr; part = part->next) {
    for (size_t i = 0; part->ptr != nullptr && i < part->size; ++i) sum += static_cast<unsigned char>(part->ptr[i]);
  }
  int32_t result = static_cast<int32_t>(sum);
  int32_t resultSize = sizeof result;
  context->SetResult(&result, &resultSize);
  return 0;
}
