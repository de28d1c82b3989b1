// The calling thread's last Windows error as an HRESULT, formed the one way
// the whole tree forms them (hresult::HResultFromError).
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/hresult/hresult.h"

namespace win32 {

inline HRESULT HResultFromLastError() { return hresult::HResultFromError(static_cast<std::int32_t>(::GetLastError())); }

}  // namespace win32
