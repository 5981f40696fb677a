// Attachment parts the plug-in cannot read whole, a null pointer or a size
// beyond 32 bits: they count as no attachment, so nothing is delivered and
// the server hears of it through progress -2.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"
#include "tests/plugin/part_command.h"
#include "tests/common/test_support.h"

namespace {

using AttachmentBounds = PartCommand;

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
