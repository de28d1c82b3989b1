#include "scheduler/schedule/scan_launcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scheduler/schedule/schedule.h"
#include "support/fixed_clock.h"
#include "support/in_memory_settings.h"
#include "support/recording_events.h"

namespace schedule {
namespace {

using application::RegistryRoot;
using datetime::DateTime;

constexpr std::u16string_view kUninstallEntry = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Veltrane37";
constexpr std::u16string_view kSettingsKey = u"SOFTWARE\\Veltrane";

class FakeScanProcess final : public ScanProcessPlatform {
 public:
  application::PresenceOpen presence_ = application::PresenceOpen::kNotFound;
  bool creation_succeeds_ = true;
  std::vector<std::u16string> started_;

  application::PresenceOpen OpenPresenceEvent() override { return presence_; }
  bool StartScan(const std::u16string& command_line, std::uint32_t& error) override {
    if (!creation_succeeds_) {
      error = 2;  // ERROR_FILE_NOT_FOUND
      return false;
    }
    started_.push_back(command_line);
    return true;
  }
};

class ScanLauncherTest : public ::testing::Test {
 protected:
  ScanLauncherTest() {
    clock_.SetLocalNow(2026, 3, 15, 12, 0, 0);
    lastScanTime = DateTime::MaxValue();
  }
  ~ScanLauncherTest() override { lastScanTime = DateTime::MaxValue(); }

  void SetUninstallString(std::u16string_view text) {
    settings_.Set(RegistryRoot::LocalMachine, kUninstallEntry, u"UninstallString", text);
  }
  void SetSetting(std::u16string_view name, std::u16string_view text) {
    settings_.Set(RegistryRoot::LocalMachine, kSettingsKey, name, text);
  }
  bool Quick() { return IsQuickScanDue(settings_, DateTime::Now()); }

  test_support::FixedClock clock_;
  datetime::ScopedClockOverride clock_override_{clock_};
  test_support::InMemorySettings settings_;
  FakeScanProcess platform_;
};

TEST_F(ScanLauncherTest, ThePathIsTheQuotedStartOfTheUninstallString) {
  SetUninstallString(u"\"C:\\Program Files\\Veltrane\\scan.exe\" /uninstall \"x\"");
  EXPECT_EQ(FindApplicationPath(settings_), u"C:\\Program Files\\Veltrane\\scan.exe");
  SetUninstallString(u"\"C:\\Program Files\\Veltrane\\scan.exe /uninstall");
  EXPECT_EQ(FindApplicationPath(settings_), u"C:\\Program Files\\Veltrane\\scan.exe /uninstall");
}

TEST_F(ScanLauncherTest, NoPathWithoutALeadingQuoteAnEmptyPathOrAnotherEntry) {
  EXPECT_EQ(FindApplicationPath(settings_), std::nullopt);
  SetUninstallString(u"C:\\Veltrane\\scan.exe /uninstall");
  EXPECT_EQ(FindApplicationPath(settings_), std::nullopt);
  SetUninstallString(u"\"\" /uninstall");
  EXPECT_EQ(FindApplicationPath(settings_), std::nullopt);
  // The context menu's entry is not the scheduler's.
  settings_.Clear();
  settings_.Set(RegistryRoot::LocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuenorClean",
                u"UninstallString", u"\"C:\\scan.exe\"");
  EXPECT_EQ(FindApplicationPath(settings_), std::nullopt);
}

TEST_F(ScanLauncherTest, TheUninstallStringMustFitIn1024Bytes) {
  // 511 units and the terminator fill the 1024 bytes exactly.
  const std::u16string fits = u"\"" + std::u16string(509, u'a') + u"\"";
  SetUninstallString(fits);
  EXPECT_EQ(FindApplicationPath(settings_), std::u16string(509, u'a'));
  SetUninstallString(fits + u" ");
  EXPECT_EQ(FindApplicationPath(settings_), std::nullopt);
}

TEST_F(ScanLauncherTest, ScanTypeQuickInAnyCaseOrMissingIsQuickAnythingElseIsFull) {
  EXPECT_TRUE(Quick());
  for (const char16_t* quick : {u"quick", u"Quick", u"QUICK"}) {
    SetSetting(u"SchedulerScanType", quick);
    EXPECT_TRUE(Quick());
  }
  for (const char16_t* full : {u"full", u"", u"quick ", u"quickly", u"default"}) {
    SetSetting(u"SchedulerScanType", full);
    EXPECT_FALSE(Quick());
  }
}

TEST_F(ScanLauncherTest, ALastFullScanMoreThan30DaysOldForcesAFullScan) {
  // Now is 2026-03-15 12:00:00.000; 30 days before is 2026-02-13 12:00:00.
  SetSetting(u"LastDefaultScan", u"2026-02-13 12:00:00");
  EXPECT_TRUE(Quick()) << "exactly 30 days to the tick";
  SetSetting(u"LastDefaultScan", u"2026-02-13T11:59:59");
  EXPECT_FALSE(Quick());
  SetSetting(u"LastDefaultScan", u"2026-02-12 12:00:00");
  EXPECT_FALSE(Quick()) << "31 days";
  clock_.SetLocalNow(2026, 3, 15, 12, 0, 0, 1);
  SetSetting(u"LastDefaultScan", u"2026-02-13 12:00:00");
  EXPECT_FALSE(Quick()) << "30 days and a millisecond";
}

TEST_F(ScanLauncherTest, ALastFullScanThatIsNoTimestampForcesNothing) {
  for (const char16_t* text : {u"2016-04-22", u"2016/04/22 13:45:10", u"2016-02-30 10:00:00", u"2016-13-01 00:00:00",
                               u"1500-01-01 00:00:00", u"", u"never"}) {
    SetSetting(u"LastDefaultScan", text);
    EXPECT_TRUE(Quick());
  }
  // A last full scan in the future is recent.
  SetSetting(u"LastDefaultScan", u"2027-01-01 00:00:00");
  EXPECT_TRUE(Quick());
}

TEST_F(ScanLauncherTest, AFullScanStaysFullWhateverTheLastFullScan) {
  SetSetting(u"SchedulerScanType", u"full");
  SetSetting(u"LastDefaultScan", u"2026-03-15 11:00:00");
  EXPECT_FALSE(Quick());
}

TEST_F(ScanLauncherTest, CommandLineQuotesThePathAndAppendsQuickForAQuickScan) {
  EXPECT_EQ(ScheduledScanCommandLine(u"C:\\a b\\scan.exe", true), u"\"C:\\a b\\scan.exe\" /scan:boot /quiet /quick");
  EXPECT_EQ(ScheduledScanCommandLine(u"C:\\a b\\scan.exe", false), u"\"C:\\a b\\scan.exe\" /scan:boot /quiet");
}

TEST_F(ScanLauncherTest, StartsTheScanAndSetsTheLastScanTimeToNow) {
  SetUninstallString(u"\"C:\\Program Files\\Veltrane\\scan.exe\" /uninstall");
  EXPECT_TRUE(LaunchScheduledScan(settings_, platform_));
  EXPECT_EQ(platform_.started_,
            std::vector<std::u16string>{u"\"C:\\Program Files\\Veltrane\\scan.exe\" /scan:boot /quiet /quick"});
  EXPECT_EQ(lastScanTime, test_support::Local(2026, 3, 15, 12, 0, 0));

  SetSetting(u"SchedulerScanType", u"Full");
  EXPECT_TRUE(LaunchScheduledScan(settings_, platform_));
  EXPECT_EQ(platform_.started_.back(), u"\"C:\\Program Files\\Veltrane\\scan.exe\" /scan:boot /quiet");
}

TEST_F(ScanLauncherTest, ARunningApplicationIsLeftAloneAndCountsAsSuccess) {
  using application::PresenceOpen;
  SetUninstallString(u"\"C:\\scan.exe\"");
  // An event that refuses the caller exists all the same: an elevated
  // application's event, opened from a lower integrity level.
  for (const PresenceOpen running : {PresenceOpen::kOpened, PresenceOpen::kAccessDenied}) {
    platform_.presence_ = running;
    EXPECT_TRUE(LaunchScheduledScan(settings_, platform_));
    EXPECT_TRUE(platform_.started_.empty());
  }
  EXPECT_EQ(lastScanTime, test_support::Local(2026, 3, 15, 12, 0, 0));
  platform_.presence_ = PresenceOpen::kFailed;
  EXPECT_TRUE(LaunchScheduledScan(settings_, platform_));
  EXPECT_EQ(platform_.started_.size(), 1u);
}

TEST_F(ScanLauncherTest, NoApplicationOrAFailedCreationIsAFailureThatStillMovesTheLastScanTime) {
  EXPECT_FALSE(LaunchScheduledScan(settings_, platform_));
  EXPECT_EQ(lastScanTime, test_support::Local(2026, 3, 15, 12, 0, 0));

  SetUninstallString(u"C:\\scan.exe");
  clock_.Advance(datetime::TimeSpan::FromMinutes(1.0));
  EXPECT_FALSE(LaunchScheduledScan(settings_, platform_));
  EXPECT_EQ(lastScanTime, test_support::Local(2026, 3, 15, 12, 1, 0));
  EXPECT_TRUE(platform_.started_.empty());

  SetUninstallString(u"\"C:\\scan.exe\"");
  platform_.creation_succeeds_ = false;
  clock_.Advance(datetime::TimeSpan::FromMinutes(1.0));
  EXPECT_FALSE(LaunchScheduledScan(settings_, platform_));
  EXPECT_EQ(lastScanTime, test_support::Local(2026, 3, 15, 12, 2, 0));
}

// Every attempt leaves one event saying what became of it, with what an
// administrator needs to act: the entry, the value, the error, the command.
TEST_F(ScanLauncherTest, EachAttemptReportsOnceWhatBecameOfIt) {
  test_support::RecordingEvents events;
  EXPECT_FALSE(LaunchScheduledScan(settings_, platform_));
  SetUninstallString(u"C:\\scan.exe /uninstall");
  EXPECT_FALSE(LaunchScheduledScan(settings_, platform_));
  SetUninstallString(u"\"C:\\scan.exe\"");
  platform_.creation_succeeds_ = false;
  EXPECT_FALSE(LaunchScheduledScan(settings_, platform_));
  platform_.creation_succeeds_ = true;
  SetSetting(u"SchedulerScanType", u"full");
  EXPECT_TRUE(LaunchScheduledScan(settings_, platform_, events::ScanOccasion::kCatchUp));
  platform_.presence_ = application::PresenceOpen::kOpened;
  EXPECT_TRUE(LaunchScheduledScan(settings_, platform_));
  const std::u16string entry(kUninstallEntry), command_line = u"\"C:\\scan.exe\" /scan:boot /quiet";
  const std::vector<std::vector<std::u16string>> inserts = {
      {entry}, {entry, u"C:\\scan.exe /uninstall"}, {command_line + u" /quick", u"2"}, {u"full", command_line}, {}};
  ASSERT_EQ(events.codes(), (std::vector<int>{311, 312, 313, 301, 310}));
  for (std::size_t i = 0; i < inserts.size(); ++i) EXPECT_EQ(events.all()[i].inserts, inserts[i]);
  EXPECT_EQ(events.all()[2].level, events::Level::kError);
}

}  // namespace
}  // namespace schedule
