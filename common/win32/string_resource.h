// String resources of a module, in the language Windows' resource loader
// picks for the calling thread: the user's display language, with the
// loader's fallback (English where the module has no text in that language).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace win32 {

// The text of string `id` of `module`, or nothing when the module has none.
std::optional<std::u16string> LoadStringResource(HINSTANCE module, UINT id);

}  // namespace win32
