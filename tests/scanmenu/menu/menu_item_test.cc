#include "scanmenu/menu/menu_item.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace scanmenu {
namespace {

TEST(ShouldAddMenuItem, DefaultOnlyAloneOrWithOthersAddsNothing) {
  EXPECT_FALSE(ShouldAddMenuItem(kDefaultOnlyFlag));
  EXPECT_FALSE(ShouldAddMenuItem(kDefaultOnlyFlag | kVerbsOnlyFlag));
  EXPECT_FALSE(ShouldAddMenuItem(kDefaultOnlyFlag | 0x0004 /* CMF_EXPLORE */));
}

TEST(ShouldAddMenuItem, OnlyExactlyVerbsOnlyIsRefused) {
  EXPECT_FALSE(ShouldAddMenuItem(kVerbsOnlyFlag));
  EXPECT_TRUE(ShouldAddMenuItem(kVerbsOnlyFlag | 0x0004 /* CMF_EXPLORE */));
  EXPECT_TRUE(ShouldAddMenuItem(0));
  EXPECT_TRUE(ShouldAddMenuItem(0x0004 | 0x0100 /* CMF_EXTENDEDVERBS */));
}

TEST(PictureForMajorVersion, BitmapFromVersionSixOn) {
  EXPECT_EQ(PictureForMajorVersion(5), ItemPicture::kOwnerDrawn);
  EXPECT_EQ(PictureForMajorVersion(6), ItemPicture::kBitmap);
  EXPECT_EQ(PictureForMajorVersion(10), ItemPicture::kBitmap);
}

TEST(MeasuredItemSize, TakesTheLargestHeightAndAddsTheIconSlotToTheWidth) {
  const ItemSize menu_height_wins = MeasuredItemSize(120, 16, 13, 19);
  EXPECT_EQ(menu_height_wins.width, 133);
  EXPECT_EQ(menu_height_wins.height, 19);
  EXPECT_EQ(MeasuredItemSize(120, 16, 24, 19).height, 24);  // the icon slot
  EXPECT_EQ(MeasuredItemSize(120, 30, 13, 19).height, 30);  // the text
}

TEST(LayoutItem, CentresIconAndTextAfterTheEdges) {
  const ItemLayout layout = LayoutItem({0, 0, 200, 20}, 13, 2, 16);
  EXPECT_EQ(layout.icon_x, 2);
  EXPECT_EQ(layout.icon_y, 3);
  EXPECT_EQ(layout.text_x, 17);
  EXPECT_EQ(layout.text_y, 2);
  const ItemLayout moved = LayoutItem({10, 40, 210, 59}, 13, 2, 16);
  EXPECT_EQ(moved.icon_x, 12);
  EXPECT_EQ(moved.icon_y, 43);  // (19 - 13) / 2
  EXPECT_EQ(moved.text_x, 27);
  EXPECT_EQ(moved.text_y, 41);
  // An item lower than its icon: the division truncates toward zero.
  EXPECT_EQ(LayoutItem({0, 0, 100, 10}, 13, 2, 16).icon_y, -1);
}

TEST(CopyHelpText, CopiesTheTextOrAsMuchAsFitsWithATerminator) {
  std::array<char16_t, 100> buffer;
  buffer.fill(u'#');
  ASSERT_EQ(CopyHelpText(kMenuText, 1, kHelpTextW, buffer.data(), 100), Outcome::kOk);
  EXPECT_EQ(std::u16string(buffer.data()), u"Scan with Quenor Clean");

  buffer.fill(u'#');
  ASSERT_EQ(CopyHelpText(kMenuText, 3, kHelpTextW, buffer.data(), 5), Outcome::kOk);
  EXPECT_EQ(std::u16string(buffer.data()), u"Scan");
  EXPECT_EQ(buffer[5], u'#');

  buffer.fill(u'#');
  ASSERT_EQ(CopyHelpText(kMenuText, 1, kHelpTextW, buffer.data(), 1), Outcome::kOk);
  EXPECT_EQ(buffer[0], u'\0');
  EXPECT_EQ(buffer[1], u'#');

  // A translated text, longer than the English one, is copied whole.
  const std::u16string german = u"Mit Quenor Clean \u00fcberpr\u00fcfen";
  ASSERT_EQ(CopyHelpText(german, 1, kHelpTextW, buffer.data(), 100), Outcome::kOk);
  EXPECT_EQ(std::u16string(buffer.data()), german);
  EXPECT_EQ(buffer[german.size() + 1], u'#');
}

TEST(CopyHelpText, RefusesOtherTypesAnEmptySelectionAndUnusableBuffers) {
  std::array<char16_t, 100> buffer;
  buffer.fill(u'#');
  for (const std::uint32_t type : {0u, 1u, 2u, 4u, 6u}) {
    EXPECT_EQ(CopyHelpText(kMenuText, 1, type, buffer.data(), 100), Outcome::kInvalidArgument) << type;
  }
  EXPECT_EQ(CopyHelpText(kMenuText, 0, kHelpTextW, buffer.data(), 100), Outcome::kInvalidArgument);
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(CopyHelpText(kMenuText, 1, kHelpTextW, nullptr, 100), Outcome::kInvalidArgument);
  EXPECT_EQ(CopyHelpText(kMenuText, 1, kHelpTextW, buffer.data(), 0), Outcome::kInvalidArgument);
  EXPECT_EQ(buffer[0], u'#');
}

TEST(ServedByPackagedCommand, OnlyFilesAndDirectoriesOnWindows11WithThePackageRegistered) {
  Selection paths;
  paths.Append(u"C:\\Users\\a\\report.docx");
  paths.Append(u"D:\\Photos");
  int asked = 0;
  const auto registered = [&asked] { return ++asked, true; };
  EXPECT_FALSE(ServedByPackagedCommand(paths, kPackagedMenuFirstBuild - 1, registered));
  EXPECT_EQ(asked, 0);
  EXPECT_TRUE(ServedByPackagedCommand(paths, kPackagedMenuFirstBuild, registered));
  EXPECT_FALSE(ServedByPackagedCommand(paths, kPackagedMenuFirstBuild, [] { return false; }));
  paths.Append(u"e:\\");  // a drive among them: the package declares no command for drives
  EXPECT_FALSE(ServedByPackagedCommand(paths, kPackagedMenuFirstBuild, registered));
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(IsDriveRoot(u"E:\\x"));
  EXPECT_FALSE(IsDriveRoot(u"1:\\"));
}

}  // namespace
}  // namespace scanmenu
