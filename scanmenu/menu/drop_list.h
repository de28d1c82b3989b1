// Reading the paths out of a drop list as the shell hands it over: a header
// (DROPFILES) followed by UTF-16 paths, each ended by a null, the whole list
// ended by an empty path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "scanmenu/menu/selection.h"

namespace scanmenu {

// Where the paths start and whether they are UTF-16, from the header fields
// pFiles and fWide; nullopt for a block too small for its header or whose
// paths would start outside it, and for 8-bit lists, which the platform's
// own reader converts.
std::optional<std::u16string_view> WideDropListPaths(std::span<const std::byte> block);

// Appends every path of `paths` in order to `selection`, stopping at the
// empty path or at the end of the block; a path that runs to the end of the
// block without its null is taken as it is. A path whose copy cannot be
// allocated is left out. Returns how many paths the list held.
std::size_t CaptureDropListPaths(std::u16string_view paths, Selection& selection);

}  // namespace scanmenu
