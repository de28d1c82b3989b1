#include "scanmenu/menu/drop_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "scanmenu/menu/latin1_drop_list_platform.h"

namespace scanmenu {
namespace {

using Paths = std::vector<std::u16string>;
using namespace std::literals;

// The bytes of a UTF-16LE list.
std::string Utf16(std::u16string_view text) {
  std::string bytes;
  for (const char16_t unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  return bytes;
}

// A drop list block as the shell lays it out: the 20-byte header, then the
// list's bytes at `offset`.
std::vector<std::byte> Block(std::string_view list, std::uint32_t wide = 1, std::uint32_t offset = 20) {
  std::vector<std::byte> block(offset, std::byte{0});
  for (int i = 0; i < 4; ++i) {
    block[i] = static_cast<std::byte>(offset >> (8 * i));
    block[16 + i] = static_cast<std::byte>(wide >> (8 * i));
  }
  for (const char byte : list) block.push_back(static_cast<std::byte>(byte));
  return block;
}

// `block` with a header that claims the list starts at `offset`.
std::vector<std::byte> WithOffset(std::vector<std::byte> block, std::uint32_t offset) {
  for (int i = 0; i < 4; ++i) block[i] = static_cast<std::byte>(offset >> (8 * i));
  return block;
}

Paths Captured(const std::vector<std::byte>& block) {
  test_support::Latin1DropListPlatform platform;
  Selection selection;
  CaptureDropList(block, platform, selection);
  Paths out;
  for (std::size_t i = 0; i < selection.size(); ++i) out.emplace_back(selection[i]);
  return out;
}

TEST(DropList, TakesBothFormsInOrderWithDuplicatesUpToTheEmptyPath) {
  const Paths expected = {u"C:\\a.txt", u"D:\\\u00e9l\u00e8ve", u"C:\\a.txt"};
  const std::u16string_view wide = u"C:\\a.txt\0D:\\\u00e9l\u00e8ve\0C:\\a.txt\0\0C:\\after end\0"sv;
  EXPECT_EQ(Captured(Block(Utf16(wide))), expected);
  // 8-bit paths go through the ANSI code page; one it cannot convert is left out.
  const std::string_view narrow = "C:\\a.txt\0D:\\\xe9l\xe8ve\0C:\\|\0C:\\a.txt\0\0C:\\after end\0"sv;
  EXPECT_EQ(Captured(Block(narrow, 0)), expected);
  EXPECT_TRUE(Captured(Block(Utf16(u"\0\0"sv))).empty());
  EXPECT_TRUE(Captured(Block("")).empty());
}

TEST(DropList, APathTheBlockEndsInIsDroppedAndThoseBeforeItKept) {
  const Paths one = {u"C:\\one"};
  EXPECT_EQ(Captured(Block(Utf16(u"C:\\one\0C:\\cut"sv))), one);
  EXPECT_EQ(Captured(Block("C:\\one\0C:\\cut"sv, 0)), one);
  // A null split by the end, and a list that lacks only its empty path.
  EXPECT_EQ(Captured(Block(Utf16(u"C:\\one\0C:\\cut"sv) + '\0')), one);
  EXPECT_EQ(Captured(Block(Utf16(u"C:\\one\0"sv))), one);
}

TEST(DropList, LongPathsAreTakenWhole) {
  const std::u16string path = u"C:\\" + std::u16string(5000, u'x');
  EXPECT_EQ(Captured(Block(Utf16(path + u'\0'))), Paths{path});
}

TEST(DropList, TheHeaderMustFitTheBlockAndPointInsideIt) {
  const std::string wide = Utf16(u"C:\\x\0\0"sv);
  const std::string narrow("C:\\x\0\0"sv);
  EXPECT_EQ(Captured(Block(wide, 1, 24)), Paths{u"C:\\x"});
  EXPECT_EQ(Captured(Block(narrow, 0, 21)), Paths{u"C:\\x"});  // odd offsets are fine for 8 bits
  EXPECT_TRUE(Captured(Block(wide, 1, 21)).empty());           // not on a unit boundary
  for (const std::uint32_t wide_flag : {0u, 1u}) {
    const std::vector<std::byte> block = Block(wide_flag != 0 ? wide : narrow, wide_flag);
    const auto size = static_cast<std::uint32_t>(block.size());
    // Inside the header; at the very end; past it, near and far.
    for (const std::uint32_t offset : {16u, size, size + 1, 0xFFFFFFFFu}) {
      EXPECT_TRUE(Captured(WithOffset(block, offset)).empty()) << offset;
    }
    EXPECT_TRUE(Captured({block.begin(), block.begin() + 19}).empty());  // shorter than the header
  }
}

}  // namespace
}  // namespace scanmenu
