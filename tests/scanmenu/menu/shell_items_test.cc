#include "scanmenu/menu/shell_items.h"

#include <gtest/gtest.h>

#include <vector>

namespace scanmenu {
namespace {

// Items as listed, nullopt for one without a path; a count of nullopt cannot be read.
struct ListedItems : ShellItems {
  explicit ListedItems(std::vector<std::optional<std::u16string>> listed = {}, bool fails = false)
      : items(std::move(listed)), count_fails(fails) {}
  std::vector<std::optional<std::u16string>> items;
  bool count_fails;
  std::optional<std::size_t> Count() override { return count_fails ? std::nullopt : std::optional(items.size()); }
  std::optional<std::u16string> FileSystemPath(std::size_t index) override { return items.at(index); }
};

TEST(ShellItemsTest, TheCommandIsOfferedOnlyWhenEveryItemHasAPathAndScansThoseThatHaveOne) {
  ListedItems files({u"C:\\a.txt", u"D:\\", u"\\\\server\\share\\b"});
  EXPECT_EQ(StateForItems(files), CommandState::kEnabled);
  ListedItems mixed({u"C:\\a.txt", std::nullopt, u"C:\\c.txt"});
  EXPECT_EQ(StateForItems(mixed), CommandState::kHidden);
  ListedItems none, unreadable({u"C:\\a.txt"}, true);
  EXPECT_EQ(StateForItems(none), StateForItems(unreadable));
  EXPECT_EQ(StateForItems(none), CommandState::kHidden);
  Selection paths;
  CaptureItemPaths(mixed, paths);
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(paths[1], u"C:\\c.txt");
}

}  // namespace
}  // namespace scanmenu
