// One text form of registry content, shared by the in-memory registry and
// the dump of a real registry key, so that the two can be compared line by
// line. Each key is a line with its path ("HKCR\CLSID\x"); each value a line
// "path : name = type data" with "@" for the default value. Lines are sorted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace test_support {

// UTF-16 text as ASCII: characters outside the printable range as \uXXXX.
std::string Printable(std::u16string_view text);

std::string KeyLine(std::u16string_view path);
// Strings show every UTF-16 unit, their zeros as \0; numbers show as hex.
std::string ValueLine(std::u16string_view path, std::u16string_view name, std::uint32_t type,
                      const std::vector<std::uint8_t>& data);

// Sorted and joined, one line each, each ending in "\n".
std::string JoinSorted(std::vector<std::string> lines);

}  // namespace test_support
