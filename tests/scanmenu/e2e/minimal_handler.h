// The class of the minimal context-menu handler (minimal_handler.dll).
#pragma once

#include <windows.h>

// {8E0B6F4A-1C37-4D52-9A0E-3B7F25C1D964}
inline constexpr CLSID kMinimalMenuHandlerClass = {
    0x8e0b6f4a, 0x1c37, 0x4d52, {0x9a, 0x0e, 0x3b, 0x7f, 0x25, 0xc1, 0xd9, 0x64}};
inline constexpr wchar_t kMinimalMenuHandlerKey[] = L"SOFTWARE\\Classes\\CLSID\\{8E0B6F4A-1C37-4D52-9A0E-3B7F25C1D964}";
