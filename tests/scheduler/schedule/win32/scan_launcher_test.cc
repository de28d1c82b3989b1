// The scan launcher against the real registry and process creation: the
// stand-in scanner, registered as the application, logs the command line of
// every start.
#include "scheduler/schedule/win32/scan_launcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/win32/registry_key.h"
#include "common/win32/wide.h"
#include "scheduler/schedule/schedule.h"
#include "support/fixed_clock.h"
#include "support/win32/stand_in_scanner.h"

namespace schedule {
namespace {

using datetime::DateTime;
using test_support::Quoted;

constexpr DWORD kStartWithinMs = 15000;
// How long a launch that must start nothing is given to show a start anyway.
constexpr DWORD kNothingStartsMs = 1000;
constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\Veltrane";

using Lines = std::vector<std::wstring>;

class ScanLauncherWin32Test : public ::testing::Test {
 protected:
  ScanLauncherWin32Test() {
    clock_.SetLocalNow(2026, 3, 15, 12, 0, 0);
    lastScanTime = DateTime::MaxValue();
  }
  void SetUp() override { ASSERT_TRUE(scanner_.ok()); }
  ~ScanLauncherWin32Test() override {
    for (const wchar_t* name : {L"SchedulerScanType", L"LastDefaultScan"}) {
      ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSettingsKey, name);
    }
    lastScanTime = DateTime::MaxValue();
  }

  void SetSetting(const wchar_t* name, const wchar_t* text) {
    win32::RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Veltrane", KEY_SET_VALUE), ERROR_SUCCESS);
    ASSERT_EQ(key.WriteText(win32::FromWide(name), win32::FromWide(text)), ERROR_SUCCESS);
  }

  std::wstring Expected(const wchar_t* switches) const { return Quoted(scanner_.path()) + switches; }

  test_support::FixedClock clock_;
  datetime::ScopedClockOverride clock_override_{clock_};
  test_support::StandInScanner scanner_{test_support::kSchedulerApplicationSubkey};
};

TEST_F(ScanLauncherWin32Test, StartsAQuickBootScanByDefault) {
  EXPECT_TRUE(LaunchScheduledScan());
  EXPECT_EQ(scanner_.WaitForLog(1, kStartWithinMs), Lines{Expected(L" /scan:boot /quiet /quick")});
  EXPECT_EQ(lastScanTime, test_support::Local(2026, 3, 15, 12, 0, 0));
}

TEST_F(ScanLauncherWin32Test, AFullScanOrAnOldLastFullScanDropsQuick) {
  SetSetting(L"SchedulerScanType", L"Full");
  EXPECT_TRUE(LaunchScheduledScan());
  EXPECT_EQ(scanner_.WaitForLog(1, kStartWithinMs), Lines{Expected(L" /scan:boot /quiet")});
  scanner_.ClearLog();

  SetSetting(L"SchedulerScanType", L"quick");
  SetSetting(L"LastDefaultScan", L"2026-02-12 12:00:00");  // 31 days old
  EXPECT_TRUE(LaunchScheduledScan());
  EXPECT_EQ(scanner_.WaitForLog(1, kStartWithinMs), Lines{Expected(L" /scan:boot /quiet")});
  scanner_.ClearLog();

  SetSetting(L"LastDefaultScan", L"2026-02-13T12:00:00");  // 30 days to the tick
  EXPECT_TRUE(LaunchScheduledScan());
  EXPECT_EQ(scanner_.WaitForLog(1, kStartWithinMs), Lines{Expected(L" /scan:boot /quiet /quick")});
}

TEST_F(ScanLauncherWin32Test, ARunningApplicationIsLeftAlone) {
  const auto hold = test_support::StandInScanner::HoldPresenceEvent(test_support::kSchedulerPresenceEvent);
  ASSERT_TRUE(hold->ok());
  EXPECT_TRUE(LaunchScheduledScan());
  EXPECT_EQ(scanner_.WaitForLog(1, kNothingStartsMs), Lines{});
  EXPECT_EQ(lastScanTime, test_support::Local(2026, 3, 15, 12, 0, 0));
}

// An elevated application's event refuses a caller of lower integrity; the
// application runs all the same. Here the event's DACL refuses everyone.
TEST_F(ScanLauncherWin32Test, AnEventThatRefusesTheCallerStillMeansTheApplicationRuns) {
  const auto hold = test_support::StandInScanner::HoldPresenceEvent(test_support::kSchedulerPresenceEvent, true);
  ASSERT_TRUE(hold->ok());
  ASSERT_EQ(::OpenEventW(EVENT_MODIFY_STATE, FALSE, test_support::kSchedulerPresenceEvent), nullptr);
  ASSERT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "the platform does not enforce the DACL";
  EXPECT_TRUE(LaunchScheduledScan());
  EXPECT_EQ(scanner_.WaitForLog(1, kNothingStartsMs), Lines{});
}

TEST_F(ScanLauncherWin32Test, TheOtherDeliverablesPresenceEventDoesNotCount) {
  const auto hold = test_support::StandInScanner::HoldPresenceEvent(test_support::kScanmenuPresenceEvent);
  ASSERT_TRUE(hold->ok());
  EXPECT_TRUE(LaunchScheduledScan());
  EXPECT_EQ(scanner_.WaitForLog(1, kStartWithinMs).size(), 1u);
}

TEST_F(ScanLauncherWin32Test, WithoutAnEntryOrAQuotedPathNothingStarts) {
  ASSERT_TRUE(scanner_.SetUninstallString(scanner_.path() + L" /uninstall"));
  EXPECT_EQ(FindApplicationPath(), nullptr);
  EXPECT_FALSE(LaunchScheduledScan());
  EXPECT_EQ(lastScanTime, test_support::Local(2026, 3, 15, 12, 0, 0));

  ASSERT_TRUE(scanner_.Unregister());
  lastScanTime = DateTime::MaxValue();
  EXPECT_EQ(FindApplicationPath(), nullptr);
  EXPECT_FALSE(LaunchScheduledScan());
  EXPECT_EQ(lastScanTime, test_support::Local(2026, 3, 15, 12, 0, 0));

  EXPECT_EQ(scanner_.WaitForLog(1, kNothingStartsMs), Lines{});
}

TEST_F(ScanLauncherWin32Test, FindApplicationPathFillsTheSharedBuffer) {
  const wchar_t* path = FindApplicationPath();
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(std::wstring(path), scanner_.path());
  ASSERT_TRUE(scanner_.SetUninstallString(L"\"C:\\elsewhere\\scan.exe"));
  EXPECT_EQ(FindApplicationPath(), path);
  EXPECT_EQ(std::wstring(path), L"C:\\elsewhere\\scan.exe");
}

}  // namespace
}  // namespace schedule
