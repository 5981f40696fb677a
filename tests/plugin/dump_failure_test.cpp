// A template that parses but that the library cannot serialise (memory
// running out in the dump, as large templates meet it in a 32-bit host) is
// not delivered: the server is told progress -2, never 100. Nor is one whose
// reshape or dump lost an allocation the library kept quiet about.
#include <libxml/xmlerror.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlsave.h>
#include <libxml/xmlmemory.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "tests/common/replaced_new.h"
#include "tests/plugin/part_command.h"
#include "plugin/template_op.h"
#include "xmlconfig/xml_doc.h"
#include "xmlconfig/xml_memory.h"

namespace {

// While armed, the library cannot have the one thing only a dump asks for:
// the output buffer that follows a save context. Both sizes are learnt from
// the library itself, since one alone can be a size the parser also asks
// for (an output buffer is 32 bytes on i686, as is one of the parser's).
bool g_armed = false;
bool g_learning = false;
int g_refused = 0;
size_t g_last_size = 0;
std::vector<size_t> g_learnt;
size_t g_save_context_size = 0;
size_t g_output_buffer_size = 0;
xmlMallocFunc g_malloc;

void* DumpStarvingMalloc(size_t size) {
  if (g_learning) g_learnt.push_back(size);
  const bool refuse = g_armed && g_last_size == g_save_context_size && size == g_output_buffer_size;
  g_last_size = size;
  if (refuse) {
    ++g_refused;
    return nullptr;
  }
  return g_malloc(size);
}

int DiscardWritten(void*, const char*, int size) { return size; }

class DumpFailure : public PartCommand {
 protected:
  DumpFailure() {
    // The library's one-time set-up is done before anything is refused.
    xmlInitParser();
    xmlMemGet(&free_, &malloc_, &realloc_, &strdup_);
    g_malloc = malloc_;
    xmlMemSetup(free_, DumpStarvingMalloc, realloc_, strdup_);
  }
  void SetUp() override { LearnSaveAllocations(); }
  ~DumpFailure() override {
    g_armed = false;
    xmlMemSetup(free_, malloc_, realloc_, strdup_);
  }

  static void LearnSaveAllocations() {
    g_learnt.clear();
    g_learning = true;
    xmlSaveCtxtPtr save = xmlSaveToIO(DiscardWritten, nullptr, nullptr, nullptr, XML_SAVE_AS_XML);
    g_learning = false;
    ASSERT_NE(save, nullptr);
    xmlSaveClose(save);
    ASSERT_GE(g_learnt.size(), 2u);
    g_save_context_size = g_learnt[0];
    g_output_buffer_size = g_learnt[1];
    ASSERT_EQ(g_output_buffer_size, sizeof(xmlOutputBuffer));
  }

  xmlFreeFunc free_;
  xmlMallocFunc malloc_;
  xmlReallocFunc realloc_;
  xmlStrdupFunc strdup_;
};

TEST_F(DumpFailure, NothingIsDeliveredAndTheServerIsToldMinusTwo) {
  static const char kTemplate[] = "<Root><A ns=\"CSC\"/><B/></Root>";
  g_armed = true;
  g_refused = 0;
  {
    CXmlDoc parsed(WIDE("<Root><A ns=\"CSC\"/><B/></Root>"));
    ASSERT_NE(parsed.doc, nullptr) << "the starved allocation must be the dump's alone";
    EXPECT_EQ(parsed.Dump(), WIDE(""));
    EXPECT_GT(g_refused, 0);
  }
  Handle(kTemplate, sizeof kTemplate - 1, 0);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].endpoint, "http://127.0.0.1:9/status");
  EXPECT_NE(g_calls[0].payload.find("<ScheduleId>7</ScheduleId><Progress>-2</Progress>"), std::string::npos)
      << g_calls[0].payload;
  EXPECT_EQ(host_.results, std::vector<int32_t>{-2});

  g_armed = false;
  Handle(kTemplate, sizeof kTemplate - 1, 0);
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[0].endpoint, "http://127.0.0.1:8000");
  EXPECT_NE(g_calls[1].payload.find("<Progress>100</Progress>"), std::string::npos);
  EXPECT_EQ(host_.results, std::vector<int32_t>{17});
}

// Refuses the nth allocation the library asks for, counted from 1 once armed,
// beneath the plug-in's watch, where a real failure happens.
long g_countdown = 0;
XmlAllocator g_beneath;

bool RefuseNow() { return g_countdown > 0 && --g_countdown == 0; }
void* NthFailingMalloc(size_t size) { return RefuseNow() ? nullptr : g_beneath.malloc(size); }
void* NthFailingRealloc(void* block, size_t size) {
  return RefuseNow() ? nullptr : g_beneath.realloc(block, size);
}
char* NthFailingStrdup(const char* text) { return RefuseNow() ? nullptr : g_beneath.strdup(text); }
void Quiet(void*, const char*, ...) {}

// Makes the payload of `text` again and again with the nth refusal armed
// through `countdown`, for n = 1, 2, ... until a run no longer reaches it:
// each run gives the whole payload or none. Answers how many gave none.
int SweepRefusals(const std::string& text, long* countdown, const char* what) {
  WideString whole;
  EXPECT_TRUE(ReshapeUtf8Template(text.data(), text.size(), &whole));
  int refused = 0;
  for (long n = 1;; ++n) {
    *countdown = n;
    WideString payload;
    const bool made = ReshapeUtf8Template(text.data(), text.size(), &payload);
    const bool reached = *countdown == 0;
    *countdown = 0;
    if (!reached) {
      EXPECT_TRUE(made) << "nothing was refused, yet no payload: " << n;
      return refused;
    }
    if (!made) {
      ++refused;
    } else if (payload != whole) {
      ADD_FAILURE() << what << " " << n << " was refused, and part was kept";
      return refused;
    }
  }
}

// For every n, the nth allocation from the parse to the payload fails: the
// payload is then the whole reshaped template or there is none. A long
// attribute or text node is written into the dump's buffer in one piece, and
// a CSC template's elements are copied deep under the wrapper.
TEST(PayloadAllocationFailure, EveryFailureLeavesTheWholePayloadOrNone) {
  const std::string longValue(100 * 1024, 'v');
  std::string manyElements = "<Root><A ns=\"CSC\" a=\"1\">x</A>";
  for (int i = 0; i < 150; ++i) manyElements += "<E n=\"" + std::to_string(i) + "\"><F/>t</E>";
  manyElements += "</Root>";
  const std::vector<std::string> templates = {
      "<Root><A ns=\"CSC\" big=\"" + longValue + "\"/><B/><C>c</C></Root>",
      "<Root><A ns=\"CSC\">" + longValue + "</A><B/></Root>",
      manyElements};
  xmlSetGenericErrorFunc(nullptr, Quiet);
  g_beneath = SetXmlAllocatorBeneathWatch({NthFailingMalloc, NthFailingRealloc, NthFailingStrdup});
  for (const std::string& text : templates) {
    EXPECT_GT(SweepRefusals(text, &g_countdown, "allocation"), 0);
  }
  SetXmlAllocatorBeneathWatch(g_beneath);
  xmlSetGenericErrorFunc(nullptr, nullptr);
}

// The dump's text is kept in 64 KiB pieces of the program's own memory,
// which the library hears of only as a failed write: the nth request of a
// piece's size is refused (TestAllocation), counted from 1 once armed.
long g_pieceCountdown = 0;

TEST(PayloadAllocationFailure, EveryPieceRefusedLeavesTheWholePayloadOrNone) {
  const std::string text = "<Root><A ns=\"CSC\" big=\"" + std::string(300 * 1024, 'v') + "\"/><B/></Root>";
  EXPECT_GT(SweepRefusals(text, &g_pieceCountdown, "piece"), 0);
}

}  // namespace

void* TestAllocation(std::size_t size) {
  if (size == 64 * 1024 && g_pieceCountdown > 0 && --g_pieceCountdown == 0) throw std::bad_alloc();
  return replaced_new::Granted(size);
}
