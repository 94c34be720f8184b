// A shared library opened at run time (dlopen). The handle is released when the object goes
// away, but the code stays mapped until the process ends: libraries with static state of
// their own (codec tables, thread pools) are never unmapped under it.
#pragma once

#include <dlfcn.h>

#include <string>
#include <utility>

namespace qp {

class RuntimeLibrary {
 public:
  RuntimeLibrary() = default;
  // Opens `path` (a bare name goes through the dynamic loader's search); empty on failure.
  explicit RuntimeLibrary(const std::string& path)
      : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {}
  ~RuntimeLibrary() {
    if (handle_) dlclose(handle_);
  }
  RuntimeLibrary(RuntimeLibrary&& other) noexcept
      : handle_(std::exchange(other.handle_, nullptr)) {}
  RuntimeLibrary& operator=(RuntimeLibrary&& other) noexcept {
    if (this != &other) {
      if (handle_) dlclose(handle_);
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  RuntimeLibrary(const RuntimeLibrary&) = delete;
  RuntimeLibrary& operator=(const RuntimeLibrary&) = delete;

  explicit operator bool() const { return handle_ != nullptr; }

  // The exported symbol as a function pointer of type Fn, or null when it is missing.
  template <typename Fn>
  Fn Symbol(const char* name) const {
    if (handle_ == nullptr) return nullptr;
    return reinterpret_cast<Fn>(dlsym(handle_, name));
  }

 private:
  void* handle_ = nullptr;
};

// One function of a library opened at run time, called like the function itself. A missing
// symbol clears `found`, so a set of them is used only when the library has them all.
template <typename F>
class RuntimeFunction {
 public:
  RuntimeFunction(const RuntimeLibrary& library, const char* name, bool& found)
      : f_(library.Symbol<F>(name)) {
    found = found && f_ != nullptr;
  }
  template <typename... Args>
  auto operator()(Args... args) const {
    return f_(args...);
  }

 private:
  F f_;
};

// Opens a component library: `fileName` beside the executable first, then by the loader.
RuntimeLibrary OpenComponentLibrary(const std::string& fileName);

}  // namespace qp
