// The one case fold of the system's keyword and setting comparisons: the
// ASCII letters A-Z and a-z match each other; every other UTF-16 unit,
// letters outside ASCII included, matches only itself.
#pragma once

#include <algorithm>
#include <string_view>

namespace text {

inline constexpr char16_t AsciiLower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

inline bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char16_t x, char16_t y) { return AsciiLower(x) == AsciiLower(y); });
}

}  // namespace text
