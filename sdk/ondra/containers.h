// The host's narrow string and array templates, as laid out in memory.
#pragma once

#include <cstddef>

#include "platform/wide.h"

// Each module supplies the member code of the instantiations it uses.
namespace ondra {

// How the host libraries themselves fill and copy strings they hand over.
struct HostStringAccess;

template <class T>
class BaseString {
 public:
  constexpr BaseString() noexcept : buffer_(nullptr), exponent_(0), length_(-1) {}
  ~BaseString();
  BaseString(const BaseString&) = delete;
  BaseString& operator=(const BaseString&) = delete;

  // A null pointer makes the null string.
  BaseString& operator=(const T* text);
  // Each UTF-16 unit becomes one character; a unit above 0xFF is an error.
  BaseString& operator=(const WideChar* text);
  // Room for n characters and a terminator; see the member code for details.
  void reserve(std::size_t n, bool discard = false);

  bool isNull() const { return length_ < 0; }
  // Null for the null string.
  const T* c_str() const { return buffer_ != nullptr || length_ < 0 ? buffer_ : empty_; }
  int length() const { return length_; }
  // Bytes held, 0 without a buffer.
  std::size_t capacity() const { return buffer_ ? std::size_t{1} << exponent_ : 0; }

 private:
  friend struct HostStringAccess;
  static constexpr T empty_[1] = {T()};
  T* buffer_;
  unsigned exponent_;  // capacity is 2^exponent_ elements
  int length_;         // -1 for the null string
};

template <class T>
class Array {
 public:
  constexpr Array() noexcept : data_(nullptr), count_(0), capacity_(0) {}
  ~Array();
  Array(const Array&) = delete;
  Array& operator=(const Array&) = delete;

  void reserve(std::size_t n);
  void append(const T& element);
  void clear();
  void setCount(std::size_t n) { count_ = n <= capacity_ ? n : capacity_; }

  std::size_t count() const { return count_; }
  std::size_t capacity() const { return capacity_; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  T& operator[](std::size_t i) { return data_[i]; }

 private:
  T* data_;  // every slot below capacity_ holds a constructed element
  std::size_t count_;
  std::size_t capacity_;
};

}  // namespace ondra
