// The calling thread's last Windows error as an HRESULT, formed the one way
// the whole server forms them (script::HResultFromError).
#pragma once

#include <windows.h>

#include <cstdint>

#include "scanmenu/module/script/hresult.h"

namespace scanmenu {

inline HRESULT HResultFromLastError() { return script::HResultFromError(static_cast<std::int32_t>(::GetLastError())); }

}  // namespace scanmenu
