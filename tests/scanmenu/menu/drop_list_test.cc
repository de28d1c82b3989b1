#include "scanmenu/menu/drop_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace scanmenu {
namespace {

// A drop list block as the shell lays it out: the 20-byte header, then the
// paths at `offset`.
std::vector<std::byte> Block(std::u16string_view paths, std::uint32_t wide = 1, std::uint32_t offset = 20) {
  std::vector<std::byte> block(offset + paths.size() * 2, std::byte{0});
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) block[at + i] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
  };
  put32(0, offset);
  put32(16, wide);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    block[offset + 2 * i] = static_cast<std::byte>(paths[i] & 0xFF);
    block[offset + 2 * i + 1] = static_cast<std::byte>(paths[i] >> 8);
  }
  return block;
}

std::vector<std::u16string> Captured(const std::vector<std::byte>& block, std::size_t* count = nullptr) {
  Selection selection;
  const auto paths = WideDropListPaths(block);
  EXPECT_TRUE(paths);
  if (!paths) return {};
  const std::size_t n = CaptureDropListPaths(*paths, selection);
  if (count != nullptr) *count = n;
  std::vector<std::u16string> out;
  for (std::size_t i = 0; i < selection.size(); ++i) out.emplace_back(selection[i]);
  return out;
}

TEST(DropList, TakesFilesAndDirectoriesInOrderWithDuplicatesUpToTheEmptyPath) {
  using Paths = std::vector<std::u16string>;
  const std::u16string list(u"C:\\a.txt\0D:\\dir\0C:\\a.txt\0\0C:\\after end\0", 40);
  std::size_t count = 0;
  EXPECT_EQ(Captured(Block(list), &count), (Paths{u"C:\\a.txt", u"D:\\dir", u"C:\\a.txt"}));
  EXPECT_EQ(count, 3u);
  EXPECT_TRUE(Captured(Block(std::u16string(u"\0\0", 2))).empty());
  EXPECT_TRUE(Captured(Block(u"")).empty());
}

TEST(DropList, APathRunningToTheEndOfTheBlockIsTakenWithoutReadingFurther) {
  const std::u16string list(u"C:\\one\0C:\\unterminated", 22);
  EXPECT_EQ(Captured(Block(list)), (std::vector<std::u16string>{u"C:\\one", u"C:\\unterminated"}));
}

TEST(DropList, LongPathsAreTakenWhole) {
  const std::u16string path = u"C:\\" + std::u16string(5000, u'x');
  EXPECT_EQ(Captured(Block(path + u'\0' + u'\0')), (std::vector<std::u16string>{path}));
}

TEST(DropList, PathsMayStartFurtherOnButNotOutsideTheBlock) {
  std::vector<std::byte> block = Block(std::u16string(u"C:\\x\0\0", 6), 1, 24);
  EXPECT_EQ(Captured(block), (std::vector<std::u16string>{u"C:\\x"}));
  EXPECT_FALSE(WideDropListPaths(Block(u"C:\\x", 1, 16)));   // inside the header
  EXPECT_FALSE(WideDropListPaths(Block(u"C:\\x", 1, 21)));   // not on a unit boundary
  std::vector<std::byte> past = Block(u"", 1, 20);
  past[0] = std::byte{200};
  EXPECT_FALSE(WideDropListPaths(past));                     // beyond the block
  EXPECT_FALSE(WideDropListPaths(std::vector<std::byte>(19)));
}

TEST(DropList, EightBitListsAreLeftToThePlatform) {
  EXPECT_FALSE(WideDropListPaths(Block(u"C:\\x", 0)));
}

}  // namespace
}  // namespace scanmenu
