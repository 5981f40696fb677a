#include "xmlconfig/xml_memory.h"

#include <libxml/parser.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

// The functions beneath the watch. Atomic: a test may swap them while the
// library is set up on another thread. (The library's own typedefs carry
// attributes that a template argument drops.)
std::atomic<void* (*)(size_t)> g_malloc{nullptr};
std::atomic<void* (*)(void*, size_t)> g_realloc{nullptr};
std::atomic<char* (*)(const char*)> g_strdup{nullptr};
xmlFreeFunc g_free = nullptr;

thread_local unsigned long t_failures = 0;

// libxml2 2.9 does not survive every small allocation it is refused: its XPath
// evaluation, among others, then follows wild pointers or frees twice. So a
// small request the system refuses is served from this reserve instead, the
// watch is told, and the work it was for is thrown away whole. The reserve
// starts again once nothing in it is held. Large requests (the buffers that
// grow with a template) still fail, where the library copes.
// Not std::mutex: the mingw runtime makes a mutex's state with malloc on its
// first lock, which is just when the reserve is first needed; that failure is
// thrown, and a throw with no memory left recurses in the C++ runtime until
// the stack overflows. The lock is held for a few instructions.
class SpinLock {
 public:
  void lock() {
    while (flag_.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  }
  void unlock() { flag_.clear(std::memory_order_release); }

 private:
  std::atomic_flag flag_ = ATOMIC_FLAG_INIT;
};

class Reserve {
 public:
  static constexpr size_t kBytes = 1024 * 1024;
  static constexpr size_t kLargestRequest = 16 * 1024;

  void* Take(size_t size) {
    if (size > kLargestRequest) return nullptr;
    const size_t need = kHeader + ((size + kAlign - 1) & ~(kAlign - 1));
    std::lock_guard<SpinLock> lock(lock_);
    if (kBytes - used_ < need) return nullptr;
    unsigned char* block = bytes_ + used_;
    used_ += need;
    ++held_;
    std::memcpy(block, &size, sizeof size);
    return block + kHeader;
  }

  bool Holds(const void* p) const {
    const auto* byte = static_cast<const unsigned char*>(p);
    return byte >= bytes_ && byte < bytes_ + kBytes;
  }

  size_t SizeOf(const void* p) const {
    size_t size = 0;
    std::memcpy(&size, static_cast<const unsigned char*>(p) - kHeader, sizeof size);
    return size;
  }

  void Give(void*) {
    std::lock_guard<SpinLock> lock(lock_);
    if (--held_ == 0) used_ = 0;
  }

 private:
  static constexpr size_t kAlign = 16;
  static constexpr size_t kHeader = kAlign;

  SpinLock lock_;
  size_t used_ = 0;
  size_t held_ = 0;
  alignas(16) unsigned char bytes_[kBytes];
};

Reserve g_reserve;

void* WatchedMalloc(size_t size) {
  void* block = g_malloc.load(std::memory_order_relaxed)(size);
  if (block != nullptr) return block;
  ++t_failures;
  return g_reserve.Take(size);
}

void WatchedFree(void* block) {
  if (block != nullptr && g_reserve.Holds(block)) {
    g_reserve.Give(block);
  } else {
    g_free(block);
  }
}

void* WatchedRealloc(void* block, size_t size) {
  if (block != nullptr && g_reserve.Holds(block)) {
    void* moved = WatchedMalloc(size);
    if (moved == nullptr) return nullptr;
    const size_t old = g_reserve.SizeOf(block);
    std::memcpy(moved, block, old < size ? old : size);
    g_reserve.Give(block);
    return moved;
  }
  void* moved = g_realloc.load(std::memory_order_relaxed)(block, size);
  if (moved == nullptr && size != 0) ++t_failures;
  return moved;
}

char* WatchedStrdup(const char* text) {
  if (text == nullptr) return nullptr;
  char* copy = g_strdup.load(std::memory_order_relaxed)(text);
  if (copy != nullptr) return copy;
  ++t_failures;
  const size_t size = std::strlen(text) + 1;
  copy = static_cast<char*>(g_reserve.Take(size));
  if (copy != nullptr) std::memcpy(copy, text, size);
  return copy;
}

// Installed at load, before any host thread can parse, around whatever the
// process had; put back at unload if nobody has replaced it since, so that a
// host whose libxml2 outlives the plug-in is not left calling into it.
const struct WatchInstalled {
  WatchInstalled() {
    xmlInitParser();
    xmlMallocFunc malloc = nullptr;
    xmlReallocFunc realloc = nullptr;
    xmlStrdupFunc strdup = nullptr;
    xmlMemGet(&g_free, &malloc, &realloc, &strdup);
    g_malloc = malloc;
    g_realloc = realloc;
    g_strdup = strdup;
    xmlMemSetup(WatchedFree, WatchedMalloc, WatchedRealloc, WatchedStrdup);
  }
  ~WatchInstalled() {
    xmlFreeFunc free = nullptr;
    xmlMallocFunc malloc = nullptr;
    xmlReallocFunc realloc = nullptr;
    xmlStrdupFunc strdup = nullptr;
    xmlMemGet(&free, &malloc, &realloc, &strdup);
    if (free == WatchedFree && malloc == WatchedMalloc && realloc == WatchedRealloc &&
        strdup == WatchedStrdup) {
      xmlMemSetup(g_free, g_malloc, g_realloc, g_strdup);
    }
  }
} g_watchInstalled;

}  // namespace

XmlAllocationWatch::XmlAllocationWatch() : start_(t_failures) {}

bool XmlAllocationWatch::Failed() const { return t_failures != start_; }

XmlAllocator SetXmlAllocatorBeneathWatch(const XmlAllocator& allocator) {
  return {g_malloc.exchange(allocator.malloc), g_realloc.exchange(allocator.realloc),
          g_strdup.exchange(allocator.strdup)};
}
