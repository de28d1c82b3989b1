// Owners for Windows handles: each closes what it holds when it goes out of
// scope, so that no path through a function can leak one.
#pragma once

#include <windows.h>

#include <utility>

namespace win32 {

// A handle owner parameterised by traits that name the invalid value and the
// close function.
template <typename Traits>
class GenericScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  GenericScopedHandle() = default;
  explicit GenericScopedHandle(Handle handle) : handle_(handle) {}
  GenericScopedHandle(const GenericScopedHandle&) = delete;
  GenericScopedHandle& operator=(const GenericScopedHandle&) = delete;
  GenericScopedHandle(GenericScopedHandle&& other) noexcept : handle_(other.Take()) {}
  GenericScopedHandle& operator=(GenericScopedHandle&& other) noexcept {
    if (this != &other) Set(other.Take());
    return *this;
  }
  ~GenericScopedHandle() { Close(); }

  bool IsValid() const { return Traits::IsValid(handle_); }
  explicit operator bool() const { return IsValid(); }
  Handle Get() const { return handle_; }

  // Takes ownership of `handle`, closing the one held before.
  void Set(Handle handle) {
    if (handle == handle_) return;
    Close();
    handle_ = handle;
  }

  // Gives up ownership without closing.
  [[nodiscard]] Handle Take() { return std::exchange(handle_, Traits::NullHandle()); }

  // Closes the handle held and returns the address of the now empty member,
  // for a call that hands out a new handle through an out-parameter:
  // `ScopedHandle token; if (OpenProcessToken(process, access, token.put())) ...`.
  [[nodiscard]] Handle* put() {
    Close();
    return &handle_;
  }

  void Close() {
    if (Traits::IsValid(handle_)) Traits::Close(handle_);
    handle_ = Traits::NullHandle();
  }

 private:
  Handle handle_ = Traits::NullHandle();
};

// Kernel object handles, where both null and INVALID_HANDLE_VALUE mean none.
struct HandleTraits {
  using Handle = HANDLE;
  static Handle NullHandle() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
using ScopedHandle = GenericScopedHandle<HandleTraits>;

struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle NullHandle() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::CloseServiceHandle(h); }
};
using ScopedServiceHandle = GenericScopedHandle<ServiceHandleTraits>;

struct LocalMemoryTraits {
  using Handle = HLOCAL;
  static Handle NullHandle() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::LocalFree(h); }
};
using ScopedLocalMemory = GenericScopedHandle<LocalMemoryTraits>;

struct SidTraits {
  using Handle = PSID;
  static Handle NullHandle() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::FreeSid(h); }
};
// A SID made by AllocateAndInitializeSid.
using ScopedSid = GenericScopedHandle<SidTraits>;

struct ModuleTraits {
  using Handle = HMODULE;
  static Handle NullHandle() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::FreeLibrary(h); }
};
using ScopedModule = GenericScopedHandle<ModuleTraits>;

}  // namespace win32
