#include "scanmenu/menu/menu_item.h"

#include <algorithm>

namespace scanmenu {

bool ShouldAddMenuItem(std::uint32_t flags) {
  if ((flags & kDefaultOnlyFlag) != 0) return false;
  return flags != kVerbsOnlyFlag;
}

ItemPicture PictureForMajorVersion(unsigned major_version) {
  return major_version >= 6 ? ItemPicture::kBitmap : ItemPicture::kOwnerDrawn;
}

ItemSize MeasuredItemSize(int text_width, int text_height, int check_size, int menu_item_height) {
  int height = text_height;
  // The width metric serves for the height as well: the icon slot is square.
  if (static_cast<unsigned>(check_size) > static_cast<unsigned>(height)) height = check_size;
  if (height <= menu_item_height) height = menu_item_height;
  return {text_width + check_size, height};
}

ItemLayout LayoutItem(const ItemRect& item, int check_size, int edge, int text_height) {
  const int height = item.bottom - item.top;
  return {item.left + edge, item.top + (height - check_size) / 2, item.left + check_size + 2 * edge,
          item.top + (height - text_height) / 2};
}

Outcome CopyHelpText(std::u16string_view text, std::size_t selected, std::uint32_t type, char16_t* buffer,
                     std::uint32_t units) {
  if (selected == 0 || type != kHelpTextW) return Outcome::kInvalidArgument;
  if (buffer == nullptr || units == 0) return Outcome::kInvalidArgument;
  const std::size_t count = std::min<std::size_t>(units - 1, text.size());
  std::copy_n(text.data(), count, buffer);
  buffer[count] = u'\0';
  return Outcome::kOk;
}

bool IsDriveRoot(std::u16string_view path) {
  const char16_t letter = path.empty() ? u'\0' : static_cast<char16_t>(path[0] | 0x20);
  return path.size() == 3 && letter >= u'a' && letter <= u'z' && path[1] == u':' && path[2] == u'\\';
}

}  // namespace scanmenu
