#include "scanmenu/menu/selection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace scanmenu {
namespace {

// A heap that fails the n-th allocation or growth from now on (counting from 1).
struct FailingHeap {
  static inline int calls = 0;
  static inline int fail_at = 0;
  static void* Allocate(std::size_t bytes) { return ++calls == fail_at ? nullptr : std::malloc(bytes); }
  static void* Reallocate(void* block, std::size_t bytes) {
    return ++calls == fail_at ? nullptr : std::realloc(block, bytes);
  }
  static HeapFunctions Failing(int n) {
    calls = 0;
    fail_at = n;
    return {&Allocate, &Reallocate, &std::free};
  }
};

TEST(Selection, KeepsPathsInOrderWithDuplicatesAndGrowsPastItsFirstArray) {
  Selection selection;
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(selection.Append(u"C:\\dir\\" + std::u16string(1, u'a' + i)));
  ASSERT_TRUE(selection.Append(u"C:\\dir\\a"));
  ASSERT_EQ(selection.size(), 21u);
  EXPECT_EQ(selection[0], u"C:\\dir\\a");
  EXPECT_EQ(selection[19], u"C:\\dir\\t");
  EXPECT_EQ(selection[20], u"C:\\dir\\a");
}

TEST(Selection, FreePathsEmptiesAndTheArrayCanBeFilledAgain) {
  Selection selection;
  ASSERT_TRUE(selection.Append(u"C:\\one"));
  ASSERT_TRUE(selection.Append(u"C:\\two"));
  selection.FreePaths();
  EXPECT_TRUE(selection.empty());
  ASSERT_TRUE(selection.Append(u"D:\\three"));
  ASSERT_EQ(selection.size(), 1u);
  EXPECT_EQ(selection[0], u"D:\\three");
  // Leaks of the copies or the array show up under the leak checker.
}

TEST(Selection, ACopyThatCannotBeAllocatedIsLeftOutNotStoredAsNull) {
  // Call 1 grows the array, call 2 copies the first path, call 3 fails the second copy.
  Selection selection(FailingHeap::Failing(3));
  EXPECT_TRUE(selection.Append(u"C:\\kept"));
  EXPECT_FALSE(selection.Append(u"C:\\lost"));
  EXPECT_TRUE(selection.Append(u"C:\\also kept"));
  ASSERT_EQ(selection.size(), 2u);
  EXPECT_EQ(selection[0], u"C:\\kept");
  EXPECT_EQ(selection[1], u"C:\\also kept");
}

TEST(Selection, AnArrayThatCannotGrowKeepsWhatItHad) {
  Selection selection(FailingHeap::Failing(1));
  EXPECT_FALSE(selection.Append(u"C:\\first"));
  EXPECT_TRUE(selection.empty());
  EXPECT_TRUE(selection.Append(u"C:\\second"));
  EXPECT_EQ(selection[0], u"C:\\second");
}

TEST(Selection, CopyOfGivesAnIndependentTerminatedCopyOrNothing) {
  // Calls: 1 grows the array, 2 copies, 3 is CopyOf, 4 copies again, 5 fails.
  Selection selection(FailingHeap::Failing(5));
  ASSERT_TRUE(selection.Append(u"C:\\x y"));
  HeapText copy = selection.CopyOf(0);
  ASSERT_TRUE(copy);
  selection.FreePaths();
  EXPECT_EQ(copy.view(), u"C:\\x y");
  EXPECT_EQ(copy.view().data()[copy.view().size()], u'\0');

  ASSERT_TRUE(selection.Append(u"C:\\z"));
  EXPECT_FALSE(selection.CopyOf(0));
  EXPECT_EQ(selection[0], u"C:\\z");
}

TEST(Selection, EmptyPathsAndLongPathsAreCopiedWhole) {
  Selection selection;
  const std::u16string long_path = u"C:\\" + std::u16string(40000, u'p');
  ASSERT_TRUE(selection.Append(long_path));
  EXPECT_EQ(selection[0], long_path);
}

}  // namespace
}  // namespace scanmenu
