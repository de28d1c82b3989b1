// An ANSI code page for the drop-list tests: Latin-1, where every byte is the
// code point of the same value; a path holding '|' cannot be converted.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "scanmenu/menu/drop_list.h"

namespace test_support {

class Latin1DropListPlatform final : public scanmenu::DropListPlatform {
 public:
  std::optional<std::u16string> FromAnsiCodePage(std::string_view path) override {
    if (path.find('|') != std::string_view::npos) return std::nullopt;
    std::u16string converted;
    for (const char byte : path) converted += static_cast<char16_t>(static_cast<unsigned char>(byte));
    return converted;
  }
};

}  // namespace test_support
