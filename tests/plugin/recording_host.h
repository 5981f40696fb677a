// A host for tests: records every call the plug-in makes on its objects.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hosts/agent/host_objects.h"

class RecordingHost final : public HostObjects {
 public:
  RecordingHost() = default;
  virtual ~RecordingHost() = default;

  std::vector<std::string> calls;
  WideString name = WIDE("Unknown");
  AttributeMap attributes;
  WideString text = WIDE("<Command/>");
  struct soap* soap = nullptr;
  struct soap* receivedSoap = nullptr;
  std::vector<int32_t> results;
  int32_t dataSizeOverride = -1;  // -1: the text's size with its terminator
  std::function<void()> onGetName;
  std::function<void()> onReadData;

  void GetName(WideString& out) override {
    calls.push_back("GetName");
    if (onGetName) onGetName();
    out = name;
  }
  CommandContext* GetContext() override {
    calls.push_back("GetContext");
    return this;
  }
  void FillAttributes(AttributeMap& out) override {
    calls.push_back("FillAttributes");
    out = attributes;
  }
  CommandRequest* GetRequest() override {
    calls.push_back("GetRequest");
    return this;
  }
  void ReadData(unsigned char* buffer, int32_t* size) override {
    calls.push_back("ReadData");
    if (onReadData) onReadData();
    const size_t bytes = (text.size() + 1) * sizeof(WideChar);
    std::memcpy(buffer, text.c_str(), std::min(bytes, static_cast<size_t>(*size)));
  }
  void SetResult(const void* data, int32_t* size) override {
    calls.push_back("SetResult");
    if (*size == 4) {
      int32_t value;
      std::memcpy(&value, data, 4);
      results.push_back(value);
    }
  }
  struct soap* GetSoap() override {
    calls.push_back("GetSoap");
    return soap;
  }
  struct soap* GetReceivedSoap() override {
    calls.push_back("GetReceivedSoap");
    return receivedSoap;
  }
  int32_t GetDataSize() override {
    calls.push_back("GetDataSize");
    if (dataSizeOverride >= 0) return dataSizeOverride;
    return static_cast<int32_t>((text.size() + 1) * sizeof(WideChar));
  }
};

// A modified TemplateConfig as a host receives it: a context of its own whose
// MIME list holds the envelope and then `attachment` (which the caller keeps)
// in `encoding`, reporting to `endpoint` under `scheduleId`.
class ReceivedTemplateConfig {
 public:
  ReceivedTemplateConfig(std::string* attachment, int encoding, const WideString& endpoint,
                         const WideString& scheduleId)
      : soap(soap_new()) {
    part_.ptr = &(*attachment)[0];
    part_.size = attachment->size();
    part_.encoding = static_cast<enum soap_mime_encoding>(encoding);
    envelope_.next = &part_;
    soap->mime.list = &envelope_;
    host.name = WIDE("TemplateConfig");
    host.attributes = {{WIDE("Modified"), WIDE("true")},
                       {WIDE("Attachment"), WIDE("true")},
                       {WIDE("EndPoint"), endpoint}};
    host.text = WIDE("<TemplateConfig><ScheduleId>") + scheduleId + WIDE("</ScheduleId></TemplateConfig>");
    host.soap = soap;
    host.receivedSoap = soap;
  }
  ~ReceivedTemplateConfig() {
    soap->mime.list = nullptr;
    soap_end(soap);
    soap_free(soap);
  }
  ReceivedTemplateConfig(const ReceivedTemplateConfig&) = delete;
  ReceivedTemplateConfig& operator=(const ReceivedTemplateConfig&) = delete;

  struct soap* const soap;
  RecordingHost host;

 private:
  struct soap_multipart envelope_ {};
  struct soap_multipart part_ {};
};
