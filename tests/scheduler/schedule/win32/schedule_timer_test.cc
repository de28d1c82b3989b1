// ArmScheduleTimer arms a real waitable timer with the system's clock and
// zone. Under CTest the test runs in a zone well away from UTC (see
// CMakeLists.txt), so a due time passed as local time instead of UTC would be
// hours off; elsewhere it runs in the machine's own zone.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "common/application/contract.h"
#include "common/win32/scoped_handle.h"
#include "scheduler/schedule/datetime/date_time.h"
#include "scheduler/schedule/schedule.h"
#include "scheduler/schedule/win32/waitable_timer.h"
#include "settings_registry_fixture.h"

namespace schedule {
namespace {

using datetime::DateTime;

std::u16string Timestamp(const DateTime& value) {
  const datetime::CalendarFields f = value.ToCalendar().value();
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", f.year, f.month, f.day, f.hour, f.minute, f.second);
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

class ScheduleTimerTest : public test_support::SettingsRegistryTest {
 protected:
  void SetUp() override {
    SettingsRegistryTest::SetUp();
    timer_.reset(::CreateWaitableTimerW(nullptr, TRUE, nullptr));
    ASSERT_TRUE(timer_);
    lastScanTime = DateTime::MaxValue();
  }
  void TearDown() override {
    if (timer_) ::CancelWaitableTimer(timer_.get());
    lastScanTime = DateTime::MaxValue();
    SettingsRegistryTest::TearDown();
  }
  static double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  win32::ScopedHandle timer_;
};

// The timer tests tell local time from UTC only in a zone away from UTC. A run
// that asks for a zone through TZ (CTest under Wine does) must get one; on a
// machine whose own zone is UTC the condition is missing, and it says so.
TEST_F(ScheduleTimerTest, TheZoneIsAwayFromUtc) {
  TIME_ZONE_INFORMATION zone;
  const DWORD kind = ::GetTimeZoneInformation(&zone);
  const LONG bias = zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : zone.StandardBias);
  if (::GetEnvironmentVariableW(L"TZ", nullptr, 0) == 0 && bias == 0) {
    GTEST_SKIP() << "the machine's zone is UTC now: local time and UTC cannot be told apart here";
  }
  EXPECT_NE(bias, 0) << "the zone asked for through TZ did not take effect";
}

TEST_F(ScheduleTimerTest, CatchUpSignalsTenSecondsAfterArmingAndNotBefore) {
  // Today's run an hour ago (or yesterday 23:00 just after midnight), and a
  // last scan two days old: a missed run.
  const DateTime now = DateTime::Now();
  const int hour = now.ToCalendar()->hour;
  const std::string around = std::to_string(hour - 1);
  SetText(application::kSchedulerWhenValue, u"daily");
  SetText(application::kSchedulerAroundValue, std::u16string(around.begin(), around.end()));
  SetText(application::kLastScanValue, Timestamp(now.AddDays(-2.0)));

  lastScanTime = ReadLastScanTime();
  ASSERT_TRUE(lastScanTime < now);
  const auto armed_at = std::chrono::steady_clock::now();
  ASSERT_TRUE(ArmScheduleTimer(timer_.get()));

  EXPECT_EQ(::WaitForSingleObject(timer_.get(), 9000), static_cast<DWORD>(WAIT_TIMEOUT))
      << "signalled after " << SecondsSince(armed_at) << " s";
  ASSERT_EQ(::WaitForSingleObject(timer_.get(), 5000), WAIT_OBJECT_0);
  const double elapsed = SecondsSince(armed_at);
  EXPECT_GE(elapsed, 9.9);
  EXPECT_LE(elapsed, 11.5);
}

TEST_F(ScheduleTimerTest, NextRunLaterTodayDoesNotSignalNow) {
  // Two hours ahead, possibly tomorrow's early hours.
  const DateTime now = DateTime::Now();
  const std::string around = std::to_string(now.ToCalendar()->hour + 2);
  SetText(application::kSchedulerWhenValue, u"DAILY");
  SetText(application::kSchedulerAroundValue, std::u16string(around.begin(), around.end()));
  SetText(application::kLastScanValue, Timestamp(now.AddDays(-3.0)));
  lastScanTime = ReadLastScanTime();
  ASSERT_TRUE(ArmScheduleTimer(timer_.get()));
  EXPECT_EQ(::WaitForSingleObject(timer_.get(), 1500), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(ScheduleTimerTest, StartupLeavesTheTimerUnarmed) {
  SetText(application::kSchedulerWhenValue, u"startup");
  ASSERT_TRUE(ArmScheduleTimer(timer_.get()));
  EXPECT_EQ(::WaitForSingleObject(timer_.get(), 500), static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
}  // namespace schedule
