// Member code of the host's narrow string, ondra::BaseString<char>.
#include <climits>
#include <cstring>
#include <string>

#include "ondra/containers.h"
#include "ondra/core.h"

namespace ondra {
namespace {

unsigned BitLength(std::size_t n) {
  unsigned bits = 0;
  for (; n != 0; n >>= 1) ++bits;
  return bits;
}

std::size_t WideLength(const WideChar* text) {
  std::size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

}  // namespace

template <class T>
BaseString<T>::~BaseString() {
  AllocBase::_free(buffer_);
  buffer_ = nullptr;
  exponent_ = 0;
  length_ = -1;
}

template <class T>
void BaseString<T>::reserve(std::size_t n, bool discard) {
  // The length is kept in an int; a longer text could not be measured.
  if (n >= static_cast<std::size_t>(INT_MAX)) throw MemoryException(n, 1);
  if (n == 0) {
    length_ = 0;
    if (buffer_ != nullptr) buffer_[0] = T();
    return;
  }
  if (buffer_ != nullptr && (std::size_t{1} << exponent_) >= n + 1) {
    if (length_ > static_cast<int>(n)) length_ = static_cast<int>(n);
    buffer_[n] = T();
    return;
  }
  unsigned e = exponent_;
  if (BitLength(n) > e) e = BitLength(n);
  if (e < 4) e = 4;
  const std::size_t bytes = std::size_t{1} << e;
  T* fresh = static_cast<T*>(AllocBase::_alloc(bytes * sizeof(T)));
  if (fresh == nullptr) throw MemoryException(bytes, 1);
  if (discard) {
    length_ = -1;
  } else if (buffer_ != nullptr && length_ >= 0) {
    std::memcpy(fresh, buffer_, (static_cast<std::size_t>(length_) + 1) * sizeof(T));
  } else if (length_ >= 0) {
    fresh[0] = T();
  }
  AllocBase::_free(buffer_);
  buffer_ = fresh;
  exponent_ = e;
  buffer_[n] = T();
}

template <class T>
BaseString<T>& BaseString<T>::operator=(const T* text) {
  if (text == nullptr) {
    AllocBase::_free(buffer_);
    buffer_ = nullptr;
    exponent_ = 0;
    length_ = -1;
    return *this;
  }
  const std::size_t length = std::char_traits<T>::length(text);
  // Text that lies in this buffer always fits, so it is never freed here.
  if (buffer_ == nullptr || (std::size_t{1} << exponent_) < length + 1) reserve(length > 0 ? length : 1, true);
  std::memmove(buffer_, text, (length + 1) * sizeof(T));
  length_ = static_cast<int>(length);
  return *this;
}

template <class T>
BaseString<T>& BaseString<T>::operator=(const WideChar* text) {
  if (text == nullptr) return *this = static_cast<const T*>(nullptr);
  const std::size_t length = WideLength(text);
  if (buffer_ == nullptr || (std::size_t{1} << exponent_) < length + 1) reserve(length > 0 ? length : 1, true);
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] > 0xFF) {
      // What was converted stays, so the string is whole when the error leaves.
      buffer_[i] = T();
      length_ = static_cast<int>(i);
      throw Exception(WIDE("Unable to convert character 0x%x"), static_cast<unsigned>(text[i]));
    }
    buffer_[i] = static_cast<T>(text[i]);
  }
  buffer_[length] = T();
  length_ = static_cast<int>(length);
  return *this;
}

template class BaseString<char>;

}  // namespace ondra
