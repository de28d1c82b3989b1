// Text work of the server's self-registration that needs no platform: the
// library path as it goes into a quoted script string, and the name of the
// type-library file that may stand beside the library.
#ifndef SCANMENU_MODULE_REGISTRATION_TEXT_H_
#define SCANMENU_MODULE_REGISTRATION_TEXT_H_

#include <cstddef>

namespace scanmenu {

// Module paths are read into buffers of this many characters, terminator
// included; a path that fills the buffer is too long.
inline constexpr std::size_t kModulePathCapacity = 260;
// The escaped path's buffer: every character of the longest path doubled.
inline constexpr std::size_t kEscapedPathCapacity = 2 * kModulePathCapacity;

// The shell lists the extensions it lets load, where the policy that allows
// only approved extensions is set, as values of this key under
// HKEY_LOCAL_MACHINE: the class id names the value, the description is its data.
inline constexpr char16_t kApprovedExtensionsKey[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
inline constexpr char16_t kHandlerClassIdText[] = u"{5A3E0C71-2D94-4F1B-9C60-7E1D48B3A925}";
inline constexpr char16_t kHandlerDescription[] = u"Quenor Clean Shell Extension";

// Copies the zero-terminated `path` into `out` (kEscapedPathCapacity
// characters) with every single quote written twice, so that a quoted script
// string gives the path back. The copy stops after kEscapedPathCapacity - 1
// characters; a quote whose second copy would not fit is written once.
// `out` is always terminated. Returns the number of characters written.
std::size_t EscapeSingleQuotes(const char16_t* path, char16_t* out);

// The type-library file beside the library: `path` with its file name's
// extension (from the last dot after the last backslash) replaced by ".tlb",
// or ".tlb" appended when the name has none, into `out`
// (kModulePathCapacity characters). False, with `out` untouched, when the
// name and its terminator would not fit.
bool TypeLibraryFileName(const char16_t* path, char16_t* out);

}  // namespace scanmenu

#endif  // SCANMENU_MODULE_REGISTRATION_TEXT_H_
