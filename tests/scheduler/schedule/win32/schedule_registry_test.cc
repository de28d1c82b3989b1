// The schedule reads its settings from the real registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/application/contract.h"
#include "common/application/win32/registry_settings_source.h"
#include "scheduler/schedule/schedule.h"
#include "scheduler/schedule/win32/waitable_timer.h"
#include "settings_registry_fixture.h"
#include "support/fixed_clock.h"
#include "support/recording_timer.h"

namespace schedule {
namespace {

using application::kLastScanValue;
using application::kSchedulerAroundValue;
using application::kSchedulerWhenValue;
using datetime::DateTime;
using test_support::Local;
using test_support::RecordingTimer;

class ScheduleRegistryTest : public test_support::SettingsRegistryTest {
 protected:
  ScheduleRegistryTest() { clock_.SetLocalNow(2016, 4, 22, 9); }  // a Friday, UTC+0
  ~ScheduleRegistryTest() override { lastScanTime = DateTime::MaxValue(); }

  // The due time armed from the registry's settings, or nullopt.
  std::optional<DateTime> Armed(bool expect_result) {
    RecordingTimer timer;
    EXPECT_EQ(ArmScheduleTimer(application::RegistrySettingsSource(), timer), expect_result);
    if (timer.armed_.empty()) return std::nullopt;
    return DateTime(timer.armed_.back(), datetime::DateTimeKind::Local);
  }

  test_support::FixedClock clock_;
  datetime::ScopedClockOverride use_clock_{clock_};
};

TEST_F(ScheduleRegistryTest, MissingKeyMeansNoScheduleAndNoLastScan) {
  EXPECT_EQ(Armed(false), std::nullopt);
  EXPECT_FALSE(IsStartupSchedule());
  EXPECT_EQ(ReadLastScanTime(), DateTime::MaxValue());
}

TEST_F(ScheduleRegistryTest, SettingsFromTheRegistryGiveTheDueTime) {
  SetText(kSchedulerWhenValue, u"Daily");
  EXPECT_EQ(Armed(true), Local(2016, 4, 23));  // no time of day: midnight
  SetText(kSchedulerAroundValue, u"14:30");
  EXPECT_EQ(Armed(true), Local(2016, 4, 22, 14, 30));
  SetText(kSchedulerWhenValue, u"MON");
  EXPECT_EQ(Armed(true), Local(2016, 4, 25, 14, 30));
  SetText(kSchedulerWhenValue, u"monday");
  EXPECT_EQ(Armed(false), std::nullopt);
}

TEST_F(ScheduleRegistryTest, StartupIsReadWithoutRegardToCase) {
  SetText(kSchedulerWhenValue, u"StartUp");
  EXPECT_TRUE(IsStartupSchedule());
  EXPECT_EQ(Armed(true), std::nullopt);
}

TEST_F(ScheduleRegistryTest, LastScanIsParsedFromTheRegistry) {
  SetText(kLastScanValue, u"2016-04-22T13:45:10");
  EXPECT_EQ(ReadLastScanTime(), Local(2016, 4, 22, 13, 45, 10));
  SetText(kLastScanValue, u"2016-02-30 13:45:10");
  EXPECT_EQ(ReadLastScanTime(), DateTime::MaxValue());
}

TEST_F(ScheduleRegistryTest, ValueTooLongForItsBufferCountsAsMissing) {
  const std::u16string stamp = u"2016-04-22 13:45:10";
  // 63 units and the terminator: exactly the 128-byte buffer.
  SetText(kLastScanValue, stamp + std::u16string(63 - stamp.size(), u'x'));
  EXPECT_EQ(ReadLastScanTime(), Local(2016, 4, 22, 13, 45, 10));
  SetText(kLastScanValue, stamp + std::u16string(64 - stamp.size(), u'x'));
  EXPECT_EQ(ReadLastScanTime(), DateTime::MaxValue());
  // "SchedulerWhen" has 512 bytes: 255 units and the terminator fit.
  SetText(kSchedulerWhenValue, u"startup" + std::u16string(248, u'\0'));
  EXPECT_TRUE(IsStartupSchedule());
  SetText(kSchedulerWhenValue, u"startup" + std::u16string(249, u'\0'));
  EXPECT_FALSE(IsStartupSchedule());
  EXPECT_EQ(Armed(false), std::nullopt);
}

TEST_F(ScheduleRegistryTest, RegistryTypeIsNotTested) {
  // Text stored as binary data without a terminator reads as that text, even
  // when it fills the buffer to the last byte.
  SetTextAs(kSchedulerWhenValue, REG_BINARY, u"daily");
  EXPECT_EQ(Armed(true), Local(2016, 4, 23));
  const std::u16string stamp = u"2016-04-22 13:45:10";
  SetTextAs(kLastScanValue, REG_BINARY, stamp + std::u16string(64 - stamp.size(), u'x'));
  EXPECT_EQ(ReadLastScanTime(), Local(2016, 4, 22, 13, 45, 10));
  // A multi-string reads up to its first terminator.
  SetTextAs(kSchedulerWhenValue, REG_MULTI_SZ, std::u16string(u"startup\0daily\0\0", 15));
  EXPECT_TRUE(IsStartupSchedule());
  SetTextAs(kSchedulerWhenValue, REG_EXPAND_SZ, std::u16string(u"Sun\0", 4));
  EXPECT_EQ(Armed(true), Local(2016, 4, 24));
  // A number is no schedule word and no timestamp.
  const DWORD number = 14;
  SetData(kSchedulerWhenValue, REG_DWORD, &number, sizeof number);
  EXPECT_EQ(Armed(false), std::nullopt);
  EXPECT_FALSE(IsStartupSchedule());
  SetData(kLastScanValue, REG_DWORD, &number, sizeof number);
  EXPECT_EQ(ReadLastScanTime(), DateTime::MaxValue());
  // A time of day stored as a number reads as no digits: midnight.
  SetText(kSchedulerWhenValue, u"daily");
  SetData(kSchedulerAroundValue, REG_DWORD, &number, sizeof number);
  EXPECT_EQ(Armed(true), Local(2016, 4, 23));
}

}  // namespace
}  // namespace schedule
