// The decimal digits of an unsigned number as UTF-16 text, for messages and
// event inserts: no sign, no padding, no grouping.
#pragma once

#include <cstdint>
#include <string>

namespace text {

inline std::u16string Decimal(std::uint64_t value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

}  // namespace text
