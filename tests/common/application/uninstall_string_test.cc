#include "common/application/uninstall_string.h"

#include <gtest/gtest.h>

namespace application {
namespace {

TEST(ExecutablePathFromUninstallString, TakesTheTextBetweenTheFirstTwoQuotes) {
  EXPECT_EQ(ExecutablePathFromUninstallString(u"\"C:\\Program Files\\Scanner\\scan.exe\" /uninstall \"x\""),
            u"C:\\Program Files\\Scanner\\scan.exe");
  EXPECT_EQ(ExecutablePathFromUninstallString(u"\"C:\\a b\\s.exe\""), u"C:\\a b\\s.exe");
}

TEST(ExecutablePathFromUninstallString, WithoutAClosingQuoteTakesTheWholeRest) {
  EXPECT_EQ(ExecutablePathFromUninstallString(u"\"C:\\a b\\s.exe /x"), u"C:\\a b\\s.exe /x");
  EXPECT_EQ(ExecutablePathFromUninstallString(u"\""), u"");
}

TEST(ExecutablePathFromUninstallString, WithoutALeadingQuoteNamesNothing) {
  EXPECT_EQ(ExecutablePathFromUninstallString(u"C:\\scan.exe"), u"");
  EXPECT_EQ(ExecutablePathFromUninstallString(u" \"C:\\scan.exe\""), u"");
  EXPECT_EQ(ExecutablePathFromUninstallString(u""), u"");
}

TEST(ExecutablePathFromUninstallString, AnEmptyQuotedPathIsEmpty) {
  EXPECT_EQ(ExecutablePathFromUninstallString(u"\"\" /x"), u"");
}

}  // namespace
}  // namespace application
