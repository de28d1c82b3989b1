// The items Explorer hands the Windows 11 command, as the command reads them:
// how many there are, and each one's file-system path where it has one.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "scanmenu/menu/selection.h"

namespace scanmenu {

class ShellItems {
 public:
  virtual ~ShellItems() = default;
  // The number of items; nullopt when it cannot be read.
  virtual std::optional<std::size_t> Count() = 0;
  // The item's file-system path; nullopt when it has none (This PC, a library,
  // an item inside a zip folder) or the item cannot be read.
  virtual std::optional<std::u16string> FileSystemPath(std::size_t index) = 0;
};

enum class CommandState { kEnabled, kHidden };

// Offered only when there is at least one item and every item has a
// file-system path: a command that would scan nothing, or only part of what
// the user chose, is hidden rather than shown to fail or fall short.
CommandState StateForItems(ShellItems& items);

// Appends the file-system paths of the items to `paths`, in order; items
// without one are left out.
void CaptureItemPaths(ShellItems& items, Selection& paths);

}  // namespace scanmenu
