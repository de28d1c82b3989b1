// The one bridge between the portable code's UTF-16 text (char16_t) and the
// Windows calls' wide characters (wchar_t, 16 bits with this toolchain): the
// same units, seen through the other type.
#pragma once

#include <string>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 units");

namespace win32 {

inline const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const wchar_t* Wide(const std::u16string& text) { return Wide(text.c_str()); }

inline const char16_t* Utf16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
inline char16_t* Utf16(wchar_t* text) { return reinterpret_cast<char16_t*>(text); }

// A copy of a null-terminated wide text; empty for null.
inline std::u16string FromWide(const wchar_t* text) { return text ? std::u16string(Utf16(text)) : std::u16string(); }

}  // namespace win32
