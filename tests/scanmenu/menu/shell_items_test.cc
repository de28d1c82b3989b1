#include "scanmenu/menu/shell_items.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace scanmenu {
namespace {

// Items as listed; nullopt for an item without a file-system path. The count
// itself can fail, and every path read is recorded.
class ListedItems : public ShellItems {
 public:
  explicit ListedItems(std::vector<std::optional<std::u16string>> items, bool count_fails = false)
      : items_(std::move(items)), count_fails_(count_fails) {}
  std::optional<std::size_t> Count() override {
    return count_fails_ ? std::nullopt : std::optional<std::size_t>(items_.size());
  }
  std::optional<std::u16string> FileSystemPath(std::size_t index) override {
    reads_.push_back(index);
    return items_.at(index);
  }
  std::vector<std::size_t> reads_;

 private:
  std::vector<std::optional<std::u16string>> items_;
  bool count_fails_;
};

TEST(ShellItemsTest, TheCommandIsOfferedOnlyWhenEveryItemHasAPath) {
  ListedItems files({u"C:\\a.txt", u"D:\\", u"\\\\server\\share\\b"});
  EXPECT_EQ(StateForItems(files), CommandState::kEnabled);

  ListedItems mixed({u"C:\\a.txt", std::nullopt, u"C:\\c.txt"});
  EXPECT_EQ(StateForItems(mixed), CommandState::kHidden);
  EXPECT_EQ(mixed.reads_, (std::vector<std::size_t>{0, 1})) << "the first item without a path decides";

  ListedItems none({});
  EXPECT_EQ(StateForItems(none), CommandState::kHidden);
  ListedItems unreadable({u"C:\\a.txt"}, true);
  EXPECT_EQ(StateForItems(unreadable), CommandState::kHidden);

  // Invoked anyway, the items with a path are scanned, in order.
  Selection paths;
  CaptureItemPaths(mixed, paths);
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(paths[0], u"C:\\a.txt");
  EXPECT_EQ(paths[1], u"C:\\c.txt");
}

}  // namespace
}  // namespace scanmenu
