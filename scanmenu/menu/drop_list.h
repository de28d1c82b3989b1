// Reading the paths out of a drop list as the shell hands it over: a header
// (DROPFILES) followed by the paths, UTF-16 or 8-bit in the system's ANSI
// code page, each ended by a null, the whole list ended by an empty path.
// The block comes from whichever program hosts the handler, so nothing in it
// is trusted: only its bytes are read, however ill-formed the header is.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "scanmenu/menu/selection.h"

namespace scanmenu {

// The operating-system call an 8-bit list needs.
class DropListPlatform {
 public:
  virtual ~DropListPlatform() = default;
  // One 8-bit path (without its null) converted from the system's ANSI code
  // page to UTF-16; nullopt when it cannot be converted.
  virtual std::optional<std::u16string> FromAnsiCodePage(std::string_view path) = 0;
};

// Appends the paths of the drop list `block` to `selection`, in order.
// `block` is the whole memory block, header included, at its real size.
// A block shorter than the header, whose paths would start inside the header
// or past the block's end, or at an odd offset for a UTF-16 list, holds no
// paths. The list ends at its empty path or at the block's end; a last path
// that the block's end cuts off before its null is dropped. A path that
// cannot be converted or whose copy cannot be allocated is left out.
void CaptureDropList(std::span<const std::byte> block, DropListPlatform& platform, Selection& selection) noexcept;

}  // namespace scanmenu
