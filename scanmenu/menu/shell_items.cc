#include "scanmenu/menu/shell_items.h"

namespace scanmenu {

CommandState StateForItems(ShellItems& items) {
  const std::optional<std::size_t> count = items.Count();
  if (!count || *count == 0) return CommandState::kHidden;
  for (std::size_t index = 0; index < *count; ++index) {
    if (!items.FileSystemPath(index)) return CommandState::kHidden;
  }
  return CommandState::kEnabled;
}

void CaptureItemPaths(ShellItems& items, Selection& paths) {
  const std::size_t count = items.Count().value_or(0);
  for (std::size_t index = 0; index < count; ++index) {
    if (const std::optional<std::u16string> path = items.FileSystemPath(index)) paths.Append(*path);
  }
}

}  // namespace scanmenu
