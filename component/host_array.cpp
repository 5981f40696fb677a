// Member code of the host's array of class records, ondra::Array<CZetClassInfo>.
#include <cstdint>
#include <functional>
#include <new>

#include "ondra/ondra.h"

namespace ondra {

template <class T>
Array<T>::~Array() {
  clear();
}

template <class T>
void Array<T>::reserve(std::size_t n) {
  if (n <= capacity_) return;
  std::size_t capacity = capacity_ > 5 ? capacity_ : 5;
  while (capacity < n) {
    capacity *= 2;
    if (capacity == 0) {
      capacity = SIZE_MAX;
      break;
    }
  }
  // A block that large cannot even be asked for.
  if (capacity > SIZE_MAX / sizeof(T)) throw MemoryException(capacity, sizeof(T));
  T* fresh = static_cast<T*>(AllocBase::_alloc(capacity * sizeof(T)));
  if (fresh == nullptr) throw MemoryException(capacity, sizeof(T));
  std::size_t built = 0;
  try {
    for (; built < count_; ++built) new (&fresh[built]) T(data_[built]);
    for (; built < capacity; ++built) new (&fresh[built]) T();
  } catch (...) {
    // The old block is untouched; the new one goes back whole.
    while (built > 0) fresh[--built].~T();
    AllocBase::_free(fresh);
    throw;
  }
  for (std::size_t i = 0; i < capacity_; ++i) data_[i].~T();
  AllocBase::_free(data_);
  data_ = fresh;
  capacity_ = capacity;
}

template <class T>
void Array<T>::append(const T& element) {
  if (count_ == SIZE_MAX) throw MemoryException(count_, sizeof(T));
  const std::less<const T*> before;
  if (count_ == capacity_ && !before(&element, data_) && before(&element, data_ + capacity_)) {
    // The element lives in the block that is about to be replaced.
    const T copy(element);
    reserve(count_ + 1);
    data_[count_] = copy;
  } else {
    reserve(count_ + 1);
    data_[count_] = element;
  }
  ++count_;
}

template <class T>
void Array<T>::clear() {
  for (std::size_t i = 0; i < capacity_; ++i) data_[i].~T();
  AllocBase::_free(data_);
  data_ = nullptr;
  count_ = 0;
  capacity_ = 0;
}

template class Array<CZetClassInfo>;

}  // namespace ondra
