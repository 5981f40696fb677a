// One received command as the plug-in sees it: the host's command objects over
// the gSOAP context that received the message.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "hosts/agent/host_objects.h"

class ReceivedCommand final : public HostObjects {
 public:
  // `soap` received the message and owns whatever the plug-in allocates in it;
  // the host frees both with the request. Attributes are applied in message
  // order, so a repeated key keeps its last value.
  ReceivedCommand(struct soap* soap, WideString name,
                  std::vector<std::pair<WideString, WideString>> attributes, WideString data);
  virtual ~ReceivedCommand() = default;

  void GetName(WideString& name) override;
  CommandContext* GetContext() override;
  void FillAttributes(AttributeMap& attributes) override;

  CommandRequest* GetRequest() override;
  void ReadData(unsigned char* buffer, int32_t* size) override;
  void SetResult(const void* data, int32_t* size) override;

  struct soap* GetSoap() override;
  struct soap* GetReceivedSoap() override;
  int32_t GetDataSize() override;

  bool hasResult() const { return hasResult_; }
  int32_t result() const { return result_; }
  // SetResult calls whose size was not 4 bytes; their data is not read.
  int rejectedResults() const { return rejectedResults_; }

  // The largest command text (in UTF-16 units) whose size fits GetDataSize.
  static size_t MaxDataUnits();

 private:
  struct soap* soap_;
  WideString name_;
  std::vector<std::pair<WideString, WideString>> attributes_;
  WideString data_;
  bool hasResult_ = false;
  int32_t result_ = 0;
  int rejectedResults_ = 0;
};
