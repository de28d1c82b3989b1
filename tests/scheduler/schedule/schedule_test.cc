#include "scheduler/schedule/schedule.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/application/contract.h"
#include "support/fixed_clock.h"
#include "support/in_memory_settings.h"
#include "support/recording_timer.h"

namespace schedule {
namespace {

using application::RegistryRoot;
using datetime::DateTime;
using datetime::DateTimeKind;
using datetime::TimeSpan;
using test_support::FixedClock;
using test_support::InMemorySettings;
using test_support::Local;
using test_support::RecordingTimer;

class ScheduleTest : public ::testing::Test {
 protected:
  ScheduleTest() { lastScanTime = DateTime::MaxValue(); }
  ~ScheduleTest() override { lastScanTime = DateTime::MaxValue(); }

  void Set(std::u16string_view name, std::u16string_view text) {
    settings_.Set(RegistryRoot::LocalMachine, application::kSettingsKeyPath, name, text);
  }
  // Arms with the current settings; the due time as local ticks (the fixed
  // zone's offset added back), or nullopt when nothing was armed.
  std::optional<DateTime> ArmedLocal(bool expect_result = true, RandomSource* random = nullptr) {
    timer_.armed_.clear();
    EXPECT_EQ(ArmScheduleTimer(settings_, timer_, random), expect_result);
    if (timer_.armed_.empty()) return std::nullopt;
    EXPECT_EQ(timer_.armed_.size(), 1u);
    return DateTime(timer_.armed_.back() + offset_minutes_ * datetime::kTicksPerMinute, DateTimeKind::Local);
  }
  void SetOffsetMinutes(int minutes) {
    offset_minutes_ = minutes;
    clock_.SetUtcOffsetMinutes(minutes);
  }

  FixedClock clock_;
  datetime::ScopedClockOverride use_clock_{clock_};
  InMemorySettings settings_;
  RecordingTimer timer_;
  int offset_minutes_ = 0;
};

const TimeSpan k14h = TimeSpan::FromHours(14);

TEST_F(ScheduleTest, DailyRunLaterTodayIsToday) {
  clock_.SetLocalNow(2016, 4, 22, 13, 0, 0);
  EXPECT_EQ(NextDailyRun(k14h), Local(2016, 4, 22, 14));
  clock_.SetLocalNow(2016, 4, 22, 13, 59, 56, 999);  // 3.001 s ahead
  EXPECT_EQ(NextDailyRun(k14h), Local(2016, 4, 22, 14));
}

TEST_F(ScheduleTest, DailyRunExactlyThreeSecondsAheadCountsAsPassed) {
  clock_.SetLocalNow(2016, 4, 22, 13, 59, 57);
  EXPECT_EQ(NextDailyRun(k14h), Local(2016, 4, 23, 14));
  lastScanTime = Local(2016, 4, 20, 9);
  EXPECT_EQ(NextDailyRun(k14h), Local(2016, 4, 22, 14, 0, 7));
}

TEST_F(ScheduleTest, DailyRunWithinThreeSecondsCatchesUpOnlyAfterAMissedDay) {
  clock_.SetLocalNow(2016, 4, 22, 13, 59, 58);
  lastScanTime = Local(2016, 4, 21, 20);
  EXPECT_EQ(NextDailyRun(k14h), Local(2016, 4, 23, 14));
  lastScanTime = Local(2016, 4, 21, 13);
  EXPECT_EQ(NextDailyRun(k14h), Local(2016, 4, 22, 14, 0, 8));
}

TEST_F(ScheduleTest, DailyRunPassedCatchesUpOrWaitsForTomorrow) {
  clock_.SetLocalNow(2016, 4, 22, 15, 0, 0);
  lastScanTime = Local(2016, 4, 22, 14, 0, 5);
  EXPECT_EQ(NextDailyRun(k14h), Local(2016, 4, 23, 14));
  lastScanTime = Local(2016, 4, 21, 14, 0, 5);  // 25 hours ago
  EXPECT_EQ(NextDailyRun(k14h), Local(2016, 4, 22, 15, 0, 10));
  lastScanTime = DateTime::MaxValue();  // no known last scan: never a catch-up
  EXPECT_EQ(NextDailyRun(k14h), Local(2016, 4, 23, 14));
}

TEST_F(ScheduleTest, LastScanExactlyOnePeriodAgoIsNoMissedRun) {
  clock_.SetLocalNow(2016, 4, 22, 15, 0, 0);
  lastScanTime = Local(2016, 4, 21, 15, 0, 0);
  EXPECT_EQ(NextDailyRun(k14h), Local(2016, 4, 23, 14));
  lastScanTime = Local(2016, 4, 21, 14, 59, 59, 999);
  EXPECT_EQ(NextDailyRun(k14h), Local(2016, 4, 22, 15, 0, 10));

  // Friday 2016-04-22; Friday's run at 14:00 has passed.
  lastScanTime = Local(2016, 4, 15, 15, 0, 0);
  EXPECT_EQ(NextWeeklyRun(5, k14h), Local(2016, 4, 29, 14));
  lastScanTime = Local(2016, 4, 15, 14, 59, 59, 999);
  EXPECT_EQ(NextWeeklyRun(5, k14h), Local(2016, 4, 22, 15, 0, 10));
}

TEST_F(ScheduleTest, LastScanComparedAcrossKinds) {
  // The missed-run test compares instants: a Utc last scan is not taken as
  // local time.
  SetOffsetMinutes(-600);  // local = UTC - 10 h
  clock_.SetLocalNow(2016, 4, 22, 15, 0, 0);
  const DateTime day_ago_local = Local(2016, 4, 21, 15, 0, 0);
  lastScanTime = DateTime(day_ago_local.ticks() + 10 * datetime::kTicksPerHour - 1, DateTimeKind::Utc);
  EXPECT_EQ(NextDailyRun(k14h), Local(2016, 4, 22, 15, 0, 10));
  lastScanTime = DateTime(day_ago_local.ticks() + 10 * datetime::kTicksPerHour, DateTimeKind::Utc);
  EXPECT_EQ(NextDailyRun(k14h), Local(2016, 4, 23, 14));
}

// 2016-04-17 was a Sunday; day of week d falls on 2016-04-(17 + d).
TEST_F(ScheduleTest, WeeklyRunFromEveryWeekdayToEveryTarget) {
  for (int today = 0; today < 7; ++today) {
    for (int target = 0; target < 7; ++target) {
      clock_.SetLocalNow(2016, 4, 17 + today, 9, 0, 0);
      const int ahead = (target - today + 7) % 7;
      EXPECT_EQ(NextWeeklyRun(target, k14h), Local(2016, 4, 17 + today + ahead, 14))
          << "today " << today << " target " << target;
      // After today's run time the same target lies a full week ahead when it is today.
      clock_.SetLocalNow(2016, 4, 17 + today, 15, 0, 0);
      EXPECT_EQ(NextWeeklyRun(target, k14h), Local(2016, 4, 17 + today + (ahead == 0 ? 7 : ahead), 14))
          << "today " << today << " target " << target << " after the run time";
    }
  }
}

TEST_F(ScheduleTest, WeeklyRunAcrossTheYear) {
  clock_.SetLocalNow(2016, 12, 30, 9);  // Friday
  EXPECT_EQ(NextWeeklyRun(2, k14h), Local(2017, 1, 3, 14));
}

TEST_F(ScheduleTest, WeeklyRunPassedCatchesUpAfterAMissedWeek) {
  clock_.SetLocalNow(2016, 4, 24, 15);  // Sunday, after the run
  lastScanTime = Local(2016, 4, 10, 14);
  EXPECT_EQ(NextWeeklyRun(0, k14h), Local(2016, 4, 24, 15, 0, 10));
  lastScanTime = Local(2016, 4, 24, 14);
  EXPECT_EQ(NextWeeklyRun(0, k14h), Local(2016, 5, 1, 14));
}

TEST_F(ScheduleTest, ArmsTheDailyAndWeeklyWordsInAnyCase) {
  clock_.SetLocalNow(2016, 4, 22, 9);  // Friday
  Set(application::kSchedulerAroundValue, u"14:30");
  Set(application::kSchedulerWhenValue, u"DAILY");
  EXPECT_EQ(ArmedLocal(), Local(2016, 4, 22, 14, 30));
  Set(application::kSchedulerWhenValue, u"Mon");
  EXPECT_EQ(ArmedLocal(), Local(2016, 4, 25, 14, 30));
  Set(application::kSchedulerWhenValue, u"sun");
  EXPECT_EQ(ArmedLocal(), Local(2016, 4, 24, 14, 30));
}

TEST_F(ScheduleTest, NoScheduleArmsNothing) {
  clock_.SetLocalNow(2016, 4, 22, 9);
  EXPECT_EQ(ArmedLocal(false), std::nullopt);  // missing
  for (std::u16string_view word : {u"monday", u"", u"never", u"daily "}) {
    Set(application::kSchedulerWhenValue, word);
    EXPECT_EQ(ArmedLocal(false), std::nullopt);
  }
  // Too long for its 512-byte buffer: 256 units and the terminator.
  Set(application::kSchedulerWhenValue, u"daily" + std::u16string(251, u'\0'));
  EXPECT_EQ(ArmedLocal(false), std::nullopt);
  Set(application::kSchedulerWhenValue, u"daily" + std::u16string(250, u'\0'));
  EXPECT_NE(ArmedLocal(), std::nullopt);
}

TEST_F(ScheduleTest, StartupArmsNothingButSucceeds) {
  Set(application::kSchedulerWhenValue, u"Startup");
  EXPECT_EQ(ArmedLocal(true), std::nullopt);
  EXPECT_TRUE(IsStartupSchedule(settings_));
}

TEST_F(ScheduleTest, IsStartupScheduleWantsTheWholeWord) {
  EXPECT_FALSE(IsStartupSchedule(settings_));
  for (std::u16string_view word : {u"daily", u"startups", u"start", u" startup"}) {
    Set(application::kSchedulerWhenValue, word);
    EXPECT_FALSE(IsStartupSchedule(settings_)) << std::string(word.begin(), word.end());
  }
  Set(application::kSchedulerWhenValue, u"STARTUP");
  EXPECT_TRUE(IsStartupSchedule(settings_));
}

TEST_F(ScheduleTest, MissingTimeOfDayIsMidnight) {
  clock_.SetLocalNow(2016, 4, 22, 9);
  Set(application::kSchedulerWhenValue, u"daily");
  EXPECT_EQ(ArmedLocal(), Local(2016, 4, 23));
  Set(application::kSchedulerAroundValue, u"25");
  EXPECT_EQ(ArmedLocal(), Local(2016, 4, 23, 1));
  Set(application::kSchedulerAroundValue, u"-2");  // yesterday 22:00 has passed
  EXPECT_EQ(ArmedLocal(), Local(2016, 4, 22, 22));
}

TEST_F(ScheduleTest, CatchUpIsArmedTenSecondsAhead) {
  clock_.SetLocalNow(2016, 4, 22, 15, 0, 0, 250);
  Set(application::kSchedulerWhenValue, u"daily");
  Set(application::kSchedulerAroundValue, u"14");
  lastScanTime = Local(2016, 4, 20, 14);
  EXPECT_EQ(ArmedLocal(), Local(2016, 4, 22, 15, 0, 10, 250));
}

// Always the largest number allowed, and what it was asked for.
class LargestRandom final : public RandomSource {
 public:
  std::uint32_t Below(std::uint32_t bound) override {
    bounds_.push_back(bound);
    return bound - 1;
  }
  std::vector<std::uint32_t> bounds_;
};

TEST_F(ScheduleTest, RandomDelayMovesAScheduledRunButNeverACatchUp) {
  clock_.SetLocalNow(2016, 4, 22, 13, 0, 0);
  Set(application::kSchedulerWhenValue, u"daily");
  Set(application::kSchedulerAroundValue, u"14");
  LargestRandom random;
  EXPECT_EQ(ArmedLocal(true, &random), Local(2016, 4, 22, 14));  // no setting: no delay, no draw
  Set(application::kSchedulerRandomDelayMinutesValue, u" 30 ");
  EXPECT_EQ(ArmedLocal(true, &random), Local(2016, 4, 22, 14, 29, 59));
  Set(application::kSchedulerRandomDelayMinutesValue, u"100000");  // at most a day
  EXPECT_EQ(ArmedLocal(true, &random), Local(2016, 4, 23, 13, 59, 59));
  EXPECT_THAT(random.bounds_, ::testing::ElementsAre(1800u, 86400u));

  clock_.SetLocalNow(2016, 4, 22, 15, 0, 0);
  lastScanTime = Local(2016, 4, 20, 14);
  EXPECT_EQ(ArmedLocal(true, &random), Local(2016, 4, 22, 15, 0, 10));
  EXPECT_EQ(random.bounds_.size(), 2u);
}

TEST_F(ScheduleTest, DueTimeIsArmedInUtcWithTheOffsetInEffectWhenArming) {
  Set(application::kSchedulerWhenValue, u"daily");
  Set(application::kSchedulerAroundValue, u"14");
  // The day before the clocks go forward (UTC+1 to UTC+2): tomorrow's 14:00
  // is armed as 13:00 UTC, which is 15:00 once the clocks have changed.
  clock_.SetLocalNow(2016, 3, 26, 15);
  clock_.SetUtcOffsetMinutes(60);
  timer_.armed_.clear();
  ASSERT_TRUE(ArmScheduleTimer(settings_, timer_));
  ASSERT_EQ(timer_.armed_.size(), 1u);
  const std::int64_t due_utc = timer_.armed_[0];
  EXPECT_EQ(due_utc, Local(2016, 3, 27, 13).ticks());
  EXPECT_EQ(DateTime(due_utc + 120 * datetime::kTicksPerMinute, DateTimeKind::Local), Local(2016, 3, 27, 15));

  // The day before they go back (UTC+2 to UTC+1): 12:00 UTC, then 13:00 local.
  clock_.SetLocalNow(2016, 10, 29, 15);
  clock_.SetUtcOffsetMinutes(120);
  timer_.armed_.clear();
  ASSERT_TRUE(ArmScheduleTimer(settings_, timer_));
  ASSERT_EQ(timer_.armed_.size(), 1u);
  EXPECT_EQ(timer_.armed_[0], Local(2016, 10, 30, 12).ticks());
  EXPECT_EQ(DateTime(timer_.armed_[0] + 60 * datetime::kTicksPerMinute, DateTimeKind::Local), Local(2016, 10, 30, 13));

  // Armed again after the change, the run is at 14:00 local.
  clock_.SetLocalNow(2016, 10, 30, 9);
  clock_.SetUtcOffsetMinutes(60);
  timer_.armed_.clear();
  ASSERT_TRUE(ArmScheduleTimer(settings_, timer_));
  EXPECT_EQ(timer_.armed_.at(0), Local(2016, 10, 30, 13).ticks());
}

TEST_F(ScheduleTest, ExtremeTimesOfDayArmNothingOutsideTheCalendar) {
  clock_.SetLocalNow(2016, 4, 22, 9);
  Set(application::kSchedulerWhenValue, u"daily");
  for (std::u16string_view around : {u"2147483647", u"2147483647:2147483647", u"99999999999999:5", u"300000000",
                                     u"-2147483648", u"-2147483648:-2147483648", u"-20000000"}) {
    Set(application::kSchedulerAroundValue, around);
    EXPECT_EQ(ArmedLocal(false), std::nullopt) << std::string(around.begin(), around.end());
  }
  // Far ahead but inside the calendar: armed.
  Set(application::kSchedulerAroundValue, u"200000000");  // about 22,800 years
  EXPECT_TRUE(ArmedLocal().has_value());
}

TEST_F(ScheduleTest, HugeNegativeTimeOfDayStillCatchesUpAMissedRun) {
  // The candidate lies long before 1601, so today's run has "passed"; a
  // missed run gives the catch-up, which is a proper time.
  clock_.SetLocalNow(2016, 4, 22, 9);
  lastScanTime = Local(2016, 4, 1);
  Set(application::kSchedulerWhenValue, u"wed");
  Set(application::kSchedulerAroundValue, u"-2147483648");
  EXPECT_EQ(ArmedLocal(), Local(2016, 4, 22, 9, 0, 10));
}

TEST_F(ScheduleTest, DueTimeThatTheOffsetCarriesBefore1601ArmsNothing) {
  // Weekly Monday 00:30 on 1601-01-01 in a zone east of UTC: positive local
  // ticks, negative UTC ticks, which the timer would take as relative.
  SetOffsetMinutes(60);
  clock_.SetLocalNow(1601, 1, 1, 0, 0, 0);
  Set(application::kSchedulerWhenValue, u"mon");
  Set(application::kSchedulerAroundValue, u"0:30");
  EXPECT_EQ(ArmedLocal(false), std::nullopt);
  SetOffsetMinutes(0);
  EXPECT_EQ(ArmedLocal(), Local(1601, 1, 1, 0, 30));
}

TEST_F(ScheduleTest, ReadLastScanTimeFallsBackToMaxValue) {
  clock_.SetLocalNow(2016, 4, 22, 9);
  EXPECT_EQ(ReadLastScanTime(settings_), DateTime::MaxValue());
  Set(application::kLastScanValue, u"2016-04-22 13:45:10");
  EXPECT_EQ(ReadLastScanTime(settings_), Local(2016, 4, 22, 13, 45, 10));
  for (std::u16string_view text :
       {u"2016-04-22 13:45", u"2016/04/22 13:45:10", u"2016-02-30 10:00:00", u"2016-04-22 24:00:00", u""}) {
    Set(application::kLastScanValue, text);
    EXPECT_EQ(ReadLastScanTime(settings_), DateTime::MaxValue()) << std::string(text.begin(), text.end());
  }
}

TEST_F(ScheduleTest, LastScanBufferIs128Bytes) {
  // 63 units and a terminator fill the buffer; one more is too long.
  const std::u16string stamp = u"2016-04-22 13:45:10";
  Set(application::kLastScanValue, stamp + std::u16string(63 - stamp.size(), u'x'));
  EXPECT_EQ(ReadLastScanTime(settings_), Local(2016, 4, 22, 13, 45, 10));
  Set(application::kLastScanValue, stamp + std::u16string(64 - stamp.size(), u'x'));
  EXPECT_EQ(ReadLastScanTime(settings_), DateTime::MaxValue());
}

TEST_F(ScheduleTest, UnparsableLastScanNeverStartsACatchUp) {
  clock_.SetLocalNow(2016, 4, 22, 15);
  Set(application::kSchedulerWhenValue, u"daily");
  Set(application::kSchedulerAroundValue, u"14");
  Set(application::kLastScanValue, u"2016-04-22 13:45");
  lastScanTime = ReadLastScanTime(settings_);
  EXPECT_EQ(ArmedLocal(), Local(2016, 4, 23, 14));
  Set(application::kLastScanValue, u"2016-04-01 13:45:00");
  lastScanTime = ReadLastScanTime(settings_);
  EXPECT_EQ(ArmedLocal(), Local(2016, 4, 22, 15, 0, 10));
}

}  // namespace
}  // namespace schedule
