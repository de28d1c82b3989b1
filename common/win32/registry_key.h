// A registry key that is opened, read and closed by one owner.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/win32/scoped_handle.h"
#include "common/win32/wide.h"

namespace win32 {

class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(RegistryKey&& other) noexcept;
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  ~RegistryKey();

  // Opens `path` under `root` with `access`; returns the Windows error number.
  LONG Open(HKEY root, std::u16string_view path, REGSAM access);
  // Creates (or opens) `path` under `root`; returns the Windows error number.
  LONG Create(HKEY root, std::u16string_view path, REGSAM access);

  explicit operator bool() const noexcept { return static_cast<bool>(key_); }
  HKEY get() const noexcept { return key_.get(); }
  // Closes the key held and takes `key`.
  void reset(HKEY key = nullptr) noexcept { key_.reset(key); }
  // Gives up the key without closing it.
  [[nodiscard]] HKEY release() noexcept { return key_.release(); }
  // Closes the key held and returns the address of the now empty member, for
  // a call that hands out a new key through an out-parameter.
  [[nodiscard]] HKEY* put() noexcept { return key_.put(); }

  // Reads a value as text into a buffer of `buffer_bytes` bytes, whatever its
  // registry type. The text ends at its first terminator or at the end of the
  // data. Missing, unreadable or larger than the buffer: nullopt.
  std::optional<std::u16string> ReadText(std::u16string_view name, std::size_t buffer_bytes) const;

  // Writes a REG_SZ value; returns the Windows error number.
  LONG WriteText(std::u16string_view name, std::u16string_view text) const;

 private:
  ScopedRegistryKey key_;
};

}  // namespace win32
