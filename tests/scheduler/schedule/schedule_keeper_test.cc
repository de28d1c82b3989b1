#include "scheduler/schedule/schedule_keeper.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/application/contract.h"
#include "support/fixed_clock.h"
#include "support/in_memory_settings.h"
#include "support/recording_events.h"

namespace schedule {
namespace {

using application::RegistryRoot;
using datetime::DateTime;
using test_support::Local;

// The service's schedule on a fixed clock (UTC = local time): what was armed,
// and each scan started.
class KeeperTest : public ::testing::Test, public KeeperPlatform, public WaitableTimer {
 protected:
  KeeperTest() { lastScanTime = DateTime::MaxValue(); }
  ~KeeperTest() override { lastScanTime = DateTime::MaxValue(); }

  const application::SettingsSource& Settings() override { return policy_first_; }
  WaitableTimer& Timer() override { return *this; }
  bool ArmAt(std::int64_t utc_ticks) override {
    armed_.push_back(DateTime(utc_ticks, datetime::DateTimeKind::Local));
    return true;
  }
  void CancelTimer() override { ++cancels_; }
  RandomSource* Random() override { return nullptr; }
  void LaunchScan(events::ScanOccasion occasion) override {
    lastScanTime = DateTime::Now();  // as LaunchScheduledScan does
    scans_.push_back(occasion);
  }
  std::u16string Account() override { return u"NT AUTHORITY\\SYSTEM"; }
  bool ConsoleUserBusy() override { return busy_; }
  bool busy_ = false;

  void Set(std::u16string_view key, std::u16string_view name, std::u16string_view text) {
    settings_.Set(RegistryRoot::LocalMachine, key, name, text);
  }
  void Set(std::u16string_view name, std::u16string_view text) { Set(application::kSettingsKeyPath, name, text); }

  test_support::FixedClock clock_;
  datetime::ScopedClockOverride use_clock_{clock_};
  test_support::InMemorySettings settings_;
  application::PolicyFirstSettings policy_first_{settings_};
  test_support::RecordingEvents events_;
  std::vector<DateTime> armed_;
  std::vector<events::ScanOccasion> scans_;
  int cancels_ = 0;
  ScheduleKeeper keeper_{*this};
};

TEST_F(KeeperTest, RunAsIsSystemOnlyForThatWordAndThePolicyKeyComesFirst) {
  for (const char16_t* word : {u"system", u"SYSTEM", u"", u"user", u"systems", u" system"}) {
    Set(application::kSchedulerRunAsValue, word);
    EXPECT_EQ(ReadRunAs(policy_first_) == RunAs::kSystem, std::u16string_view(word).size() == 6);
  }
  Set(application::kPolicyKeyPath, application::kSchedulerRunAsValue, u"user");
  EXPECT_EQ(ReadRunAs(policy_first_), RunAs::kUser);
}

// A start with a two-day-old "LastScan" catches the run up once; an early
// (stale) timer signal starts nothing; after the scan the next run is
// tomorrow's, and the scanner writing "LastScan" changes nothing.
TEST_F(KeeperTest, StartCatchesUpOnceAndTheScannersLastScanDoesNotReArm) {
  clock_.SetLocalNow(2026, 12, 8, 15, 0, 0);
  Set(application::kSchedulerWhenValue, u"daily");
  Set(application::kSchedulerAroundValue, u"14:00");
  Set(application::kLastScanValue, u"2026-12-06 14:00:00");
  keeper_.Start();
  ASSERT_EQ(armed_, std::vector<DateTime>{Local(2026, 12, 8, 15, 0, 10)});
  EXPECT_EQ(events_.codes(), (std::vector<int>{130, 332}));

  keeper_.OnTimer();
  EXPECT_TRUE(scans_.empty()) << "a signal 10 s before the run is stale";
  clock_.SetLocalNow(2026, 12, 8, 15, 0, 10);
  keeper_.OnTimer();
  EXPECT_EQ(scans_, std::vector<events::ScanOccasion>{events::ScanOccasion::kCatchUp});
  EXPECT_EQ(armed_.back(), Local(2026, 12, 9, 14));

  Set(application::kLastScanValue, u"2026-12-08 15:00:40");
  keeper_.OnSettingsChanged();
  keeper_.OnTimer();
  EXPECT_EQ(armed_.size(), 2u);
  EXPECT_EQ(scans_.size(), 1u);

  // A policy's new time takes effect at once.
  Set(application::kPolicyKeyPath, application::kSchedulerAroundValue, u"18:30");
  keeper_.OnSettingsChanged();
  EXPECT_EQ(armed_.back(), Local(2026, 12, 8, 18, 30));
  EXPECT_EQ(scans_.size(), 1u);
}

// Sleep over the run time: the resume catches the run up once, and a second
// resume right after does not.
TEST_F(KeeperTest, ResumeAfterAMissedRunCatchesUpOnce) {
  clock_.SetLocalNow(2026, 12, 8, 13, 0, 0);
  Set(application::kSchedulerWhenValue, u"daily");
  Set(application::kSchedulerAroundValue, u"14");
  Set(application::kLastScanValue, u"2026-12-07 14:00:05");
  keeper_.Start();
  EXPECT_EQ(armed_.back(), Local(2026, 12, 8, 14));

  clock_.SetLocalNow(2026, 12, 9, 16, 0, 0);  // asleep from 13:00 until the next day
  keeper_.OnResume();
  EXPECT_EQ(armed_.back(), Local(2026, 12, 9, 16, 0, 10));
  clock_.SetLocalNow(2026, 12, 9, 16, 0, 10);
  keeper_.OnTimer();
  keeper_.OnResume();
  EXPECT_EQ(scans_, std::vector<events::ScanOccasion>{events::ScanOccasion::kCatchUp});
  EXPECT_EQ(armed_.back(), Local(2026, 12, 10, 14));

  // "never" by policy cancels the timer; a stopped keeper is deaf.
  Set(application::kPolicyKeyPath, application::kSchedulerWhenValue, u"never");
  keeper_.OnSettingsChanged();
  keeper_.Stop();
  keeper_.OnResume();
  EXPECT_EQ(cancels_, 2);
  EXPECT_FALSE(keeper_.armed());
  EXPECT_EQ(armed_.size(), 4u);
}

// A due scan waits while the console user is busy, looked at again every
// 30 s, and starts once the user is back or the limit has passed.
TEST_F(KeeperTest, ADueScanWaitsForABusyConsoleUserAtMostTheLimit) {
  clock_.SetLocalNow(2026, 12, 8, 13, 59, 0);
  Set(application::kSchedulerWhenValue, u"daily");
  Set(application::kSchedulerAroundValue, u"14:00");
  Set(application::kPolicyKeyPath, application::kSchedulerDeferBusyMinutesValue, u"1");
  keeper_.Start();
  clock_.SetLocalNow(2026, 12, 8, 14, 0, 0);
  busy_ = true;
  for (int recheck = 1; recheck <= 2; ++recheck) {
    keeper_.OnTimer();
    keeper_.OnSettingsChanged();  // a waiting scan is due already: nothing re-arms it
    EXPECT_EQ(armed_.back(), Local(2026, 12, 8, 14, 0, 0).AddSeconds(30.0 * recheck));
    clock_.Advance(datetime::TimeSpan::FromMinutes(0.5));
  }
  EXPECT_TRUE(scans_.empty());
  keeper_.OnTimer();  // 14:01: the limit has passed
  EXPECT_EQ(scans_, std::vector<events::ScanOccasion>{events::ScanOccasion::kScheduled});
  EXPECT_EQ(armed_.back(), Local(2026, 12, 9, 14));
  const std::vector<int> codes = events_.codes();
  EXPECT_EQ(std::vector<int>(codes.end() - 2, codes.end()), (std::vector<int>{322, 331}));
}

}  // namespace
}  // namespace schedule
