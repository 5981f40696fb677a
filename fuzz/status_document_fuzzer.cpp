// The TaskStatusResponse builder with arbitrary schedule identifiers: it fits
// whole or it is refused.
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_check.h"
#include "plugin/template_op.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  int32_t progress;
  std::memcpy(&progress, data, 4);
  WideString scheduleId((size - 4) / 2, WIDE('\0'));
  if (!scheduleId.empty()) std::memcpy(&scheduleId[0], data + 4, scheduleId.size() * 2);
  const size_t nul = scheduleId.find(WIDE('\0'));
  if (nul != WideString::npos) scheduleId.resize(nul);

  WideString document = WIDE("untouched");
  const bool fits = BuildTaskStatusDocument(WIDE("001122AABBCC"), scheduleId.c_str(), progress, &document);
  if (fits) {
    FUZZ_CHECK(document.size() < kStatusDocumentUnits);
    FUZZ_CHECK(document.find(WIDE("<ScheduleId>") + scheduleId + WIDE("</ScheduleId>")) != WideString::npos);
    FUZZ_CHECK(document.compare(document.size() - 39, 39, WIDE("</Progress></TaskStatusResponse></Root>")) == 0);
  } else {
    FUZZ_CHECK(document == WIDE("untouched"));
    FUZZ_CHECK(scheduleId.size() > 894);
  }
  return 0;
}
