// ondraCore's allocator: malloc with a size header, counters and a cap.
#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "ondra/core.h"

namespace ondra {
namespace {

// Keeps the block that follows aligned for any type.
struct alignas(std::max_align_t) Header {
  std::size_t bytes;
};

std::atomic<std::size_t> outstandingBlocks{0};
std::atomic<std::size_t> outstandingBytes{0};
std::atomic<std::size_t> limitBytes{0};

}  // namespace

void* AllocBase::_alloc(std::size_t bytes) {
  if (bytes > SIZE_MAX - sizeof(Header)) return nullptr;
  const std::size_t held = outstandingBytes.fetch_add(bytes) + bytes;
  const std::size_t limit = limitBytes.load();
  if (limit != 0 && held > limit) {
    outstandingBytes.fetch_sub(bytes);
    return nullptr;
  }
  auto* header = static_cast<Header*>(std::malloc(sizeof(Header) + bytes));
  if (header == nullptr) {
    outstandingBytes.fetch_sub(bytes);
    return nullptr;
  }
  header->bytes = bytes;
  outstandingBlocks.fetch_add(1);
  return header + 1;
}

void AllocBase::_free(void* block) {
  if (block == nullptr) return;
  Header* header = static_cast<Header*>(block) - 1;
  outstandingBytes.fetch_sub(header->bytes);
  outstandingBlocks.fetch_sub(1);
  std::free(header);
}

std::size_t AllocBase::OutstandingBlocks() { return outstandingBlocks.load(); }
std::size_t AllocBase::OutstandingBytes() { return outstandingBytes.load(); }
void AllocBase::SetLimit(std::size_t bytes) { limitBytes.store(bytes); }

}  // namespace ondra
