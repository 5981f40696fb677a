// A TemplateConfig command whose attachment is one part set by the test, with
// the service call stubbed (stubbed_call_set.cpp): every Set the command makes
// is recorded instead of sent.
#pragma once

#include <gtest/gtest.h>
#include <stdsoap2.h>

#include <string>
#include <vector>

#include "plugin/quorvil.h"
#include "tests/plugin/recording_host.h"

struct StubbedCall {
  std::string endpoint;
  std::string payload;  // as UTF-8
  WideString units;     // as the plug-in handed it over
};
// The calls of the last command, in order; the stub answers r = 17.
extern std::vector<StubbedCall> g_calls;

class PartCommand : public ::testing::Test {
 protected:
  PartCommand() : soap_(soap_new()) {
    host_.name = WIDE("TemplateConfig");
    host_.attributes = {{WIDE("Modified"), WIDE("true")}, {WIDE("Attachment"), WIDE("true")},
                        {WIDE("EndPoint"), WIDE("http://127.0.0.1:9/status")}};
    host_.text = WIDE("<TemplateConfig><ScheduleId>7</ScheduleId></TemplateConfig>");
    host_.soap = soap_;
    host_.receivedSoap = soap_;
    envelope_.next = &part_;
    soap_->mime.list = &envelope_;
    g_calls.clear();
  }
  ~PartCommand() override {
    soap_->mime.list = nullptr;
    soap_end(soap_);
    soap_free(soap_);
  }

  // Handles the command with the second part set as given.
  void Handle(const char* ptr, size_t size, int encoding) {
    part_.ptr = const_cast<char*>(ptr);
    part_.size = size;
    part_.encoding = static_cast<enum soap_mime_encoding>(encoding);
    host_.results.clear();
    g_calls.clear();
    HandleCommand(&host_);
  }

  RecordingHost host_;
  struct soap* soap_;
  struct soap_multipart envelope_ {};
  struct soap_multipart part_ {};
};
