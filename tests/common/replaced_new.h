// The program's operator new and delete, on malloc and free, each request
// going through TestAllocation, which the one file of a test program that
// includes this defines: it throws std::bad_alloc to refuse a request.
#pragma once

#include <cstdlib>
#include <new>

void* TestAllocation(std::size_t size);

namespace replaced_new {

// What TestAllocation grants.
inline void* Granted(std::size_t size) {
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}

inline void* AllocateOrNull(std::size_t size) noexcept {
  try {
    return TestAllocation(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace replaced_new

void* operator new(std::size_t size) { return TestAllocation(size); }
void* operator new[](std::size_t size) { return TestAllocation(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return replaced_new::AllocateOrNull(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return replaced_new::AllocateOrNull(size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
