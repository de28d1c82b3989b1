// Fuzz input as UTF-16 text: each pair of bytes is one unit, low byte first;
// an odd last byte is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace test_support {

inline std::u16string FuzzText(const std::uint8_t* data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  return text;
}

}  // namespace test_support
