// The one formatter of unsigned numbers as UTF-16 text, for messages, names
// and event inserts: Decimal (no sign, no grouping, zeros in front up to a
// least width) and Hexadecimal (upper-case digits, a fixed width, no prefix).
#pragma once

#include <cstdint>
#include <string>

namespace text {

// The decimal digits of `value`, with zeros in front when it has fewer than
// `least_digits`.
inline std::u16string Decimal(std::uint64_t value, int least_digits = 1) {
  char16_t buffer[20];  // the digits of the largest 64-bit number
  char16_t* const end = buffer + 20;
  char16_t* first = end;
  do {
    *--first = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  } while ((value != 0 || end - first < least_digits) && first != buffer);
  return std::u16string(first, end);
}

// The lowest `digits` (at most 16) hexadecimal digits of `value`, upper-case,
// zeros in front: Hexadecimal(0x1F, 4) is "001F".
inline std::u16string Hexadecimal(std::uint64_t value, int digits) {
  char16_t buffer[16];
  for (int i = digits - 1; i >= 0; --i, value >>= 4) buffer[i] = u"0123456789ABCDEF"[value & 0xF];
  return std::u16string(buffer, static_cast<std::size_t>(digits));
}

}  // namespace text
