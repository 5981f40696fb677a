// Loading a shared library into the running process as a host does, and
// finding its symbols.
#pragma once

#include <string>

namespace platform {

// A library loaded into the process; unloaded with the object.
class SharedLibrary {
 public:
  SharedLibrary() = default;
  // The library at the UTF-8 `path`, its symbols bound at once and kept out
  // of the global namespace (dlopen RTLD_NOW | RTLD_LOCAL, or LoadLibraryW);
  // !is_loaded() with the system's reason in `error`.
  SharedLibrary(const std::string& path, std::string* error);
  ~SharedLibrary() { Unload(); }
  SharedLibrary(SharedLibrary&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  SharedLibrary& operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
      Unload();
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  bool is_loaded() const { return handle_ != nullptr; }
  // Null when the library has no such symbol.
  void* Symbol(const char* name) const;
  // Unloads it now; false when the system refuses to unload it.
  bool Unload();

 private:
  void* handle_ = nullptr;
};

}  // namespace platform
