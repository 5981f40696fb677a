// Attachment parts the plug-in cannot read whole, a null pointer or a size
// beyond 32 bits: they count as no attachment, so nothing is delivered and
// the server hears of it through progress -2.
#include <gtest/gtest.h>
#include <stdsoap2.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/machine_root.h"
#include "plugin/quorvil.h"
#include "support/text_conversion.h"
#include "tests/plugin/recording_host.h"
#include "tests/test_support.h"

namespace {

struct Call {
  std::string endpoint;
  std::string payload;
};
std::vector<Call> g_calls;

}  // namespace

// Stands in for the service call, so that nothing reaches a network.
int CallSet(const char* endpoint, const WideChar* payload, int32_t* result) {
  g_calls.push_back({endpoint != nullptr ? endpoint : "", ToUtf8(payload)});
  if (result != nullptr) *result = 17;
  return 0;
}

namespace {

class AttachmentBounds : public ::testing::Test {
 protected:
  AttachmentBounds() : soap_(soap_new()) {
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
  ~AttachmentBounds() override {
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

TEST_F(AttachmentBounds, ReadablePartIsDeliveredSoTheCasesBelowMeanSomething) {
  static const char kTemplate[] = "<Root/>";
  Handle(kTemplate, sizeof kTemplate - 1, 0);
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[0].endpoint, "http://127.0.0.1:8000");
  EXPECT_EQ(host_.results, std::vector<int32_t>{17});
}

TEST_F(AttachmentBounds, NullPointerOrSizeBeyondAThirtyTwoBitCountIsNoAttachment) {
  // The template is whole within the part's first seven bytes, so a size cut
  // to 32 bits (or read as a negative count) would deliver or misread it.
  static const char kTemplate[] = "<Root/>";
  std::vector<size_t> sizes = {(size_t{1} << 31) + 7, SIZE_MAX};
  if (sizeof(size_t) > 4) sizes.push_back(static_cast<size_t>((uint64_t{1} << 32) + 7));
  for (int encoding : {0, 2, 4, 5}) {
    for (size_t size : sizes) {
      Handle(kTemplate, size, encoding);
      ASSERT_EQ(g_calls.size(), 1u) << "size " << size << " encoding " << encoding;
      EXPECT_EQ(g_calls[0].endpoint, "http://127.0.0.1:9/status");
      EXPECT_NE(g_calls[0].payload.find("<ScheduleId></ScheduleId><Progress>-2</Progress>"),
                std::string::npos)
          << g_calls[0].payload;
      EXPECT_EQ(host_.results, std::vector<int32_t>{0});
    }
    Handle(nullptr, 7, encoding);
    ASSERT_EQ(g_calls.size(), 1u) << "null pointer, encoding " << encoding;
    EXPECT_NE(g_calls[0].payload.find("<Progress>-2</Progress>"), std::string::npos);
    EXPECT_EQ(host_.results, std::vector<int32_t>{0});
  }
  const std::string log = testing_support::ReadFile(platform::NativePath("C:\\runtime.log"));
  EXPECT_NE(log.find("INFO:i can not find attachment! in .\\Quorvil(145)\r\n"), std::string::npos);
}

}  // namespace
