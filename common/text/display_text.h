// Texts shown to the user come from string resources in every language the
// binaries carry (languages/*.toml); the resource loader picks the one of
// the user's display language. English is written into the code as well, for
// a text the resources do not give.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace text {

// The text the resources gave, or `english` when they gave none or an empty one.
inline std::u16string DisplayText(std::optional<std::u16string> loaded, std::u16string_view english) {
  if (loaded.has_value() && !loaded->empty()) return std::move(*loaded);
  return std::u16string(english);
}

}  // namespace text
