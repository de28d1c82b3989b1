// The tree's HRESULT vocabulary, for portable and Windows code alike: the
// HRESULT number type, a Windows error number as an HRESULT, and the success
// code that carries a count. The Windows side adds the calling thread's last
// error (common/win32/last_error.h).
#pragma once

#include <cstdint>

namespace hresult {

// The same numbers as the platform's HRESULT.
using HResult = std::int32_t;

// A Windows error number as an HRESULT: 0x80070000 plus its low 16 bits;
// zero and negative numbers pass unchanged.
inline constexpr HResult HResultFromError(std::int32_t error) {
  if (error <= 0) return error;
  return static_cast<HResult>(0x80070000u | (static_cast<std::uint32_t>(error) & 0xFFFFu));
}

// A success code carrying `count` in its code bits, the way a context menu's
// QueryContextMenu answers how many command ids it used.
inline constexpr HResult SuccessWithCount(std::uint16_t count) { return count; }

}  // namespace hresult
