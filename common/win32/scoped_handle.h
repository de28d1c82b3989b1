// Owners for Windows handles: each closes what it holds when it goes out of
// scope, so that no path through a function can leak one.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>
#include <utility>

namespace win32 {

// Owner of one `T` given back by the single call `Close(value)`. `Invalid`
// lists the values that mean "none", as integers compared with the value's
// bits (null when the list is empty); the first is what an empty owner holds.
// Close may take a wider type than `T`, e.g. DeleteObject's HGDIOBJ for an
// HBITMAP, and its result is ignored.
//
//   using ScopedHandle = ScopedResource<HANDLE, ::CloseHandle, 0, -1>;
template <typename T, auto Close, std::intptr_t... Invalid>
class ScopedResource {
  static_assert(std::is_pointer_v<T> || std::is_integral_v<T>, "a handle is a pointer or an integer");
  static_assert(std::is_invocable_v<decltype(Close), T>, "Close takes the handle as its one argument");

 public:
  using Handle = T;

  ScopedResource() noexcept = default;
  explicit ScopedResource(T value) noexcept : value_(value) {}
  ScopedResource(const ScopedResource&) = delete;
  ScopedResource& operator=(const ScopedResource&) = delete;
  ScopedResource(ScopedResource&& other) noexcept : value_(other.release()) {}
  ScopedResource& operator=(ScopedResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~ScopedResource() { Free(); }

  explicit operator bool() const noexcept { return !IsNone(value_); }
  T get() const noexcept { return value_; }

  // Takes ownership of `value`, closing the one held before; handing in the
  // value already held changes nothing.
  void reset(T value = None()) {
    if (value == value_) return;
    Free();
    value_ = value;
  }

  // Gives up ownership without closing.
  [[nodiscard]] T release() noexcept { return std::exchange(value_, None()); }

  // Closes the handle held and returns the address of the now empty member,
  // for a call that hands out a new handle through an out-parameter:
  // `ScopedHandle token; if (OpenProcessToken(process, access, token.put())) ...`.
  [[nodiscard]] T* put() {
    Free();
    value_ = None();
    return &value_;
  }

 private:
  static constexpr std::intptr_t kInvalid[] = {Invalid..., 0};

  static std::uintptr_t Bits(T value) noexcept {
    if constexpr (std::is_pointer_v<T>) {
      return reinterpret_cast<std::uintptr_t>(value);
    } else {
      return static_cast<std::uintptr_t>(value);
    }
  }
  static T None() noexcept {
    if constexpr (std::is_pointer_v<T>) {
      return reinterpret_cast<T>(kInvalid[0]);
    } else {
      return static_cast<T>(kInvalid[0]);
    }
  }
  static bool IsNone(T value) noexcept {
    if constexpr (sizeof...(Invalid) == 0) {
      return Bits(value) == 0;
    } else {
      return ((Bits(value) == static_cast<std::uintptr_t>(Invalid)) || ...);
    }
  }

  void Free() {
    if (!IsNone(value_)) static_cast<void>(Close(value_));
  }

  T value_ = None();
};

// Kernel object handles, where both null and INVALID_HANDLE_VALUE mean none.
using ScopedHandle = ScopedResource<HANDLE, ::CloseHandle, 0, -1>;
using ScopedServiceHandle = ScopedResource<SC_HANDLE, ::CloseServiceHandle>;
using ScopedLocalMemory = ScopedResource<HLOCAL, ::LocalFree>;
// A SID made by AllocateAndInitializeSid.
using ScopedSid = ScopedResource<PSID, ::FreeSid>;
using ScopedModule = ScopedResource<HMODULE, ::FreeLibrary>;
using ScopedRegistryKey = ScopedResource<HKEY, ::RegCloseKey>;

}  // namespace win32
