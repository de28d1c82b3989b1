// The one item the extension adds to the context menu: when it is added,
// how its picture is shown, how it is measured and laid out, and its help text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scanmenu/menu/outcome.h"
#include "scanmenu/menu/selection.h"

namespace scanmenu {

// The item's text in English. The item, its help text and the Windows 11
// command's title come from the string resources in the user's display
// language; this is what stands where the resources give none.
inline constexpr std::u16string_view kMenuText = u"Scan with Quenor Clean";

// QueryContextMenu flags the decision looks at (CMF_DEFAULTONLY, CMF_VERBSONLY).
inline constexpr std::uint32_t kDefaultOnlyFlag = 0x0001;
inline constexpr std::uint32_t kVerbsOnlyFlag = 0x0002;

// GetCommandString type for the UTF-16 help text (GCS_HELPTEXTW).
inline constexpr std::uint32_t kHelpTextW = 5;

// No item when only the default verb is wanted, or when exactly "verbs only"
// is asked for; "verbs only" together with any other flag still gets it.
bool ShouldAddMenuItem(std::uint32_t flags);

enum class ItemPicture {
  kBitmap,      // the menu draws the item's 32-bit bitmap itself
  kOwnerDrawn,  // the handler measures and paints the item
};
// From the platform's major version (the low byte of GetVersion).
ItemPicture PictureForMajorVersion(unsigned major_version);

struct ItemSize {
  int width;
  int height;
};
// Width: the text plus one icon slot. Height: the largest of the text height,
// the icon slot and the smallest menu item height.
ItemSize MeasuredItemSize(int text_width, int text_height, int check_size, int menu_item_height);

struct ItemRect {
  int left;
  int top;
  int right;
  int bottom;
};
struct ItemLayout {
  int icon_x;
  int icon_y;
  int text_x;
  int text_y;
};
// The icon sits one edge in from the left, centred vertically; the text
// follows after the icon slot and an edge on either side of it, also centred.
ItemLayout LayoutItem(const ItemRect& item, int check_size, int edge, int text_height);

// Copies the help text `text` for GetCommandString. Refused (E_INVALIDARG) while
// nothing is selected, for any type but the UTF-16 help text, and for a
// buffer that is null or has no room at all. Otherwise at most `units` - 1
// units of the text and a terminator are written.
Outcome CopyHelpText(std::u16string_view text, std::size_t selected, std::uint32_t type, char16_t* buffer,
                     std::uint32_t units);

// Windows 11 (build 22000 and later) shows the packaged command of the sparse
// package in its first-level menu and, where that package is registered for
// the user, under "Show more options" as well. The package declares it for
// files and directories, not for drives.
inline constexpr std::uint32_t kPackagedMenuFirstBuild = 22000;

// "C:\" and the like: a drive's root, as the drop list names a drive.
bool IsDriveRoot(std::u16string_view path);

// Whether the packaged command serves this selection, so that the classic
// item would be its double: on Windows 11, with the package registered for
// the user, for a selection without a drive. `package_registered` is asked
// only when the rest holds.
template <typename Registered>
bool ServedByPackagedCommand(const Selection& paths, std::uint32_t build, Registered package_registered) {
  if (build < kPackagedMenuFirstBuild || paths.empty()) return false;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (IsDriveRoot(paths[i])) return false;
  }
  return package_registered();
}

}  // namespace scanmenu
