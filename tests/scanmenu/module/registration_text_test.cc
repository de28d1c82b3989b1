// The library path as registration writes it into a quoted script string,
// and the type-library file name beside the library.
#include "scanmenu/module/registration_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

namespace scanmenu {
namespace {

std::u16string Escaped(const std::u16string& path) {
  char16_t out[kEscapedPathCapacity + 8];
  std::fill(std::begin(out), std::end(out), u'#');
  const std::size_t written = EscapeSingleQuotes(path.c_str(), out);
  EXPECT_EQ(out[written], u'\0');
  EXPECT_EQ(out[kEscapedPathCapacity], u'#') << "wrote past the buffer";
  return std::u16string(out, written);
}

TEST(EscapeSingleQuotesTest, DoublesEveryQuoteAndKeepsEverythingElse) {
  EXPECT_EQ(Escaped(u""), u"");
  EXPECT_EQ(Escaped(u"C:\\Program Files\\Scanmenu.dll"), u"C:\\Program Files\\Scanmenu.dll");
  EXPECT_EQ(Escaped(u"C:\\Quenor's\\''x'"), u"C:\\Quenor''s\\''''x''");
}

TEST(EscapeSingleQuotesTest, StopsAt519CharactersAndWritesALastQuoteOnceWhenItsCopyWouldNotFit) {
  // 259 quotes double to 518 characters; the longest path fits whole.
  EXPECT_EQ(Escaped(std::u16string(259, u'\'')), std::u16string(518, u'\''));
  // 518 characters, then a quote: the first copy is character 519, the
  // second does not fit.
  const std::u16string lead(518, u'a');
  EXPECT_EQ(Escaped(lead + u"'b"), lead + u"'");
  // 517 characters, then a quote: both copies fit, nothing more does.
  const std::u16string shorter(517, u'a');
  EXPECT_EQ(Escaped(shorter + u"'b"), shorter + u"''");
  // Plain text longer than the buffer is cut at 519 characters.
  EXPECT_EQ(Escaped(std::u16string(600, u'x')), std::u16string(519, u'x'));
  EXPECT_EQ(Escaped(std::u16string(519, u'x')), std::u16string(519, u'x'));
}

std::u16string TlbName(const std::u16string& path, bool* fits) {
  char16_t out[kModulePathCapacity];
  std::fill(std::begin(out), std::end(out), u'#');
  *fits = TypeLibraryFileName(path.c_str(), out);
  return *fits ? std::u16string(out) : std::u16string(out, kModulePathCapacity);
}

TEST(TypeLibraryFileNameTest, ReplacesTheFileNamesExtensionOnly) {
  bool fits = false;
  EXPECT_EQ(TlbName(u"C:\\bin\\Scanmenu.dll", &fits), u"C:\\bin\\Scanmenu.tlb");
  EXPECT_TRUE(fits);
  EXPECT_EQ(TlbName(u"C:\\bin\\Scan.menu.dll", &fits), u"C:\\bin\\Scan.menu.tlb");
  // A dot in a folder name is no extension of the file's name.
  EXPECT_EQ(TlbName(u"C:\\my.folder\\Scanmenu", &fits), u"C:\\my.folder\\Scanmenu.tlb");
  EXPECT_EQ(TlbName(u"C:\\bin\\Scanmenu.", &fits), u"C:\\bin\\Scanmenu.tlb");
}

TEST(TypeLibraryFileNameTest, ANameThatWouldNotFitIn260CharactersIsRefusedAndNothingWritten) {
  bool fits = false;
  // 255 characters of stem + ".tlb" + terminator = 260: fits exactly.
  const std::u16string stem(255, u'a');
  EXPECT_EQ(TlbName(stem + u".dll", &fits), stem + u".tlb");
  EXPECT_TRUE(fits);
  EXPECT_EQ(TlbName(stem, &fits), stem + u".tlb");
  EXPECT_TRUE(fits);
  const std::u16string too_long(256, u'a');
  EXPECT_EQ(TlbName(too_long + u".d", &fits), std::u16string(kModulePathCapacity, u'#'));
  EXPECT_FALSE(fits);
  EXPECT_EQ(TlbName(too_long, &fits), std::u16string(kModulePathCapacity, u'#'));
  EXPECT_FALSE(fits);
}

}  // namespace
}  // namespace scanmenu
