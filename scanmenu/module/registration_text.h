// Text work of the server's self-registration that needs no platform: the
// library path as it goes into a quoted script string, and the name of the
// type-library file that may stand beside the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

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

// The class of the command that Windows 11 shows in its first-level context
// menu, declared by the sparse package and registered beside the handler.
inline constexpr char16_t kExplorerCommandClassIdText[] = u"{C6B0F1D4-8E27-4A93-B5D8-3F61E2A90C7B}";

// A class id's fields, as a GUID holds them.
struct ClassIdFields {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::uint8_t data4[8] = {};
  bool valid = false;
};

// The fields of a class id written as in the registry, "{" 8-4-4-4-12
// hexadecimal digits "}"; `valid` is false for any other text.
constexpr ClassIdFields ParseClassId(std::u16string_view text) {
  ClassIdFields fields;
  constexpr std::u16string_view kShape = u"{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
  if (text.size() != kShape.size()) return fields;
  std::uint8_t bytes[16] = {};
  std::size_t nibble = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (kShape[i] != u'x') {
      if (c != kShape[i]) return fields;
      continue;
    }
    int digit = -1;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
    if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
    if (digit < 0) return fields;
    bytes[nibble / 2] = static_cast<std::uint8_t>(bytes[nibble / 2] * 16 + digit);
    ++nibble;
  }
  fields.data1 =
      (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) | bytes[3];
  fields.data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  fields.data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  for (std::size_t i = 0; i < 8; ++i) fields.data4[i] = bytes[8 + i];
  fields.valid = true;
  return fields;
}

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
