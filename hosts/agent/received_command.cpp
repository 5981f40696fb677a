// The host's command objects over a received gSOAP message.
#include "hosts/agent/received_command.h"

#include <cstring>
#include <limits>

ReceivedCommand::ReceivedCommand(struct soap* soap, WideString name,
                                 std::vector<std::pair<WideString, WideString>> attributes,
                                 WideString data)
    : soap_(soap),
      name_(std::move(name)),
      attributes_(std::move(attributes)),
      data_(std::move(data)) {}

void ReceivedCommand::GetName(WideString& name) { name = name_; }

CommandContext* ReceivedCommand::GetContext() { return this; }

void ReceivedCommand::FillAttributes(AttributeMap& attributes) {
  for (const auto& attribute : attributes_) attributes[attribute.first] = attribute.second;
}

CommandRequest* ReceivedCommand::GetRequest() { return this; }

void ReceivedCommand::ReadData(unsigned char* buffer, int32_t* size) {
  if (buffer == nullptr || size == nullptr || *size < static_cast<int32_t>(sizeof(WideChar))) {
    return;
  }
  // A buffer smaller than GetDataSize asked for still gets a terminated text,
  // cut short, and nothing is written past its end.
  const size_t room = static_cast<size_t>(*size) / sizeof(WideChar) - 1;
  const size_t units = data_.size() < room ? data_.size() : room;
  std::memcpy(buffer, data_.data(), units * sizeof(WideChar));
  std::memset(buffer + units * sizeof(WideChar), 0, sizeof(WideChar));
}

void ReceivedCommand::SetResult(const void* data, int32_t* size) {
  if (data == nullptr || size == nullptr || *size != static_cast<int32_t>(sizeof(int32_t))) {
    ++rejectedResults_;
    return;
  }
  std::memcpy(&result_, data, sizeof(int32_t));
  hasResult_ = true;
}

struct soap* ReceivedCommand::GetSoap() { return soap_; }

struct soap* ReceivedCommand::GetReceivedSoap() { return soap_; }

int32_t ReceivedCommand::GetDataSize() {
  return static_cast<int32_t>((data_.size() + 1) * sizeof(WideChar));
}

size_t ReceivedCommand::MaxDataUnits() {
  return static_cast<size_t>(std::numeric_limits<int32_t>::max()) / sizeof(WideChar) - 1;
}
