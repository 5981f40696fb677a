// The XML steps of a command, timed inside one process that the Windows DLLs'
// toolchain builds too, so that the same code can be timed on Linux and under
// Wine: libxml2's parse, its dump and the freeing of the tree, then the
// plug-in's ReshapeTemplate (parse, reshape, dump, wide payload). Each runs
// first on the C runtime's heap, then on an arena that libxml2 is handed
// through xmlMemSetup: what the arena saves is what the heap costs there.
//   xml_steps [MEGABYTES...]   (default 1 10)
// Prints one table; times are the fastest of five rounds, in milliseconds.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlmemory.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "plugin/template_op.h"
#include "platform/wide.h"

namespace {

constexpr int kRounds = 5;

// A bump allocator: frees nothing, grows the newest block in place.
class Arena {
 public:
  bool Reserve(size_t bytes) {
    base_ = static_cast<char*>(std::malloc(bytes));
    size_ = base_ != nullptr ? bytes : 0;
    return base_ != nullptr;
  }
  void Reset() { used_ = 0, last_ = nullptr; }

  void* Allocate(size_t size) {
    const size_t start = (used_ + kHeader + kAlign - 1) / kAlign * kAlign;
    if (start + size > size_) return nullptr;
    char* block = base_ + start;
    std::memcpy(block - kHeader, &size, sizeof size);
    used_ = start + size;
    last_ = block;
    return block;
  }
  void* Reallocate(void* old, size_t size) {
    if (old == nullptr) return Allocate(size);
    char* block = static_cast<char*>(old);
    if (block == last_ && static_cast<size_t>(block - base_) + size <= size_) {
      std::memcpy(block - kHeader, &size, sizeof size);
      used_ = static_cast<size_t>(block - base_) + size;
      return block;
    }
    size_t had;
    std::memcpy(&had, block - kHeader, sizeof had);
    void* moved = Allocate(size);
    if (moved != nullptr) std::memcpy(moved, old, std::min(had, size));
    return moved;
  }
  size_t used() const { return used_; }

 private:
  static constexpr size_t kHeader = 16, kAlign = 16;
  char* base_ = nullptr;
  size_t size_ = 0, used_ = 0;
  char* last_ = nullptr;
};

Arena g_arena;
void ArenaFree(void*) {}
void* ArenaMalloc(size_t size) { return g_arena.Allocate(size); }
void* ArenaRealloc(void* block, size_t size) { return g_arena.Reallocate(block, size); }
char* ArenaStrdup(const char* text) {
  const size_t size = std::strlen(text) + 1;
  void* copy = g_arena.Allocate(size);
  if (copy != nullptr) std::memcpy(copy, text, size);
  return static_cast<char*>(copy);
}

// Rows under one CSC element, as scripts/bench-win32-limit sends them.
std::string Template(size_t bytes) {
  static const char kRow[] = "<K a=\"1\" b=\"two\">v</K>";
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Root><Settings ns=\"CSC\">";
  const size_t rows = bytes / (sizeof kRow - 1);
  text.reserve(rows * (sizeof kRow - 1) + 64);
  for (size_t i = 0; i < rows; ++i) text.append(kRow, sizeof kRow - 1);
  return text + "</Settings></Root>";
}

struct Steps {
  double parse = 1e300, dump = 1e300, free = 1e300, reshape = 1e300;
};

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// False when a step failed (out of memory, or the template did not parse).
bool TimeRound(const std::string& text, bool arena, Steps* best) {
  if (arena) g_arena.Reset();
  Clock::time_point start = Clock::now();
  xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                XML_PARSE_NONET | XML_PARSE_HUGE);
  best->parse = std::min(best->parse, Since(start));
  if (doc == nullptr) return false;
  start = Clock::now();
  xmlChar* out = nullptr;
  int size = 0;
  xmlDocDumpMemory(doc, &out, &size);
  best->dump = std::min(best->dump, Since(start));
  xmlFree(out);
  start = Clock::now();
  xmlFreeDoc(doc);
  best->free = std::min(best->free, Since(start));
  if (out == nullptr) return false;

  if (arena) g_arena.Reset();
  start = Clock::now();
  WideString payload;
  const bool reshaped = ReshapeUtf8Template(text.data(), text.size(), &payload);
  best->reshape = std::min(best->reshape, Since(start));
  return reshaped;
}

void PrintRow(size_t megabytes, const char* heap, const Steps& s, bool ok) {
  if (!ok) {
    std::printf("%8zu  %-6s  %s\n", megabytes, heap, "failed (out of memory?)");
    return;
  }
  std::printf("%8zu  %-6s  %10.1f %10.1f %10.1f %14.1f\n", megabytes, heap, s.parse, s.dump, s.free,
              s.reshape);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<size_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoul(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {1, 10};
  xmlInitParser();

  std::printf("%8s  %-6s  %10s %10s %10s %14s\n", "MB", "heap", "parse ms", "dump ms", "free ms",
              "reshape ms");
  std::vector<std::string> texts;
  for (size_t mb : sizes) texts.push_back(Template(mb << 20));
  // Every round on the runtime's heap first: once libxml2 is on the arena,
  // nothing it allocates may reach the runtime's free.
  std::vector<bool> ok(sizes.size(), true);
  std::vector<Steps> heap(sizes.size());
  for (size_t i = 0; i < sizes.size(); ++i) {
    for (int r = 0; r < kRounds && ok[i]; ++r) ok[i] = TimeRound(texts[i], false, &heap[i]);
  }
  const size_t largest = *std::max_element(sizes.begin(), sizes.end());
  // A tree of these rows takes about 32 times the text, and the arena keeps
  // every buffer that the dump outgrows.
  const bool arena = g_arena.Reserve((largest << 20) * 80 + (64 << 20));
  if (arena) xmlMemSetup(ArenaFree, ArenaMalloc, ArenaRealloc, ArenaStrdup);
  for (size_t i = 0; i < sizes.size(); ++i) {
    PrintRow(sizes[i], "system", heap[i], ok[i]);
    Steps steps;
    bool done = arena;
    for (int r = 0; r < kRounds && done; ++r) done = TimeRound(texts[i], true, &steps);
    PrintRow(sizes[i], "arena", steps, done);
  }
  return 0;
}
