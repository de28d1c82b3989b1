#include "scheduler/schedule/datetime/calendar.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "scheduler/schedule/datetime/time_span.h"
#include "support/fixed_clock.h"

namespace datetime::calendar {
namespace {

using test_support::Fields;

TEST(CalendarTest, KnownInstants) {
  EXPECT_EQ(FieldsToTicks(Fields(1601, 1, 1)), 0);
  EXPECT_EQ(FieldsToTicks(Fields(1970, 1, 1)), 116'444'736'000'000'000);
  EXPECT_EQ(FieldsToTicks(Fields(9999, 12, 31, 23, 59, 59, 999)), 2'650'467'743'999'990'000);
  EXPECT_EQ(FieldsToTicks(Fields(30827, 12, 31, 23, 59, 59, 999)), kLastTickOfMaxYear - 9'999);
}

TEST(CalendarTest, DayOfWeekCountsFromSunday) {
  EXPECT_EQ(TicksToFields(0)->day_of_week, 1);                                    // 1601-01-01 was a Monday
  EXPECT_EQ(TicksToFields(*FieldsToTicks(Fields(2016, 4, 22)))->day_of_week, 5);  // Friday
  EXPECT_EQ(TicksToFields(*FieldsToTicks(Fields(2016, 4, 24)))->day_of_week, 0);  // Sunday
}

TEST(CalendarTest, RoundTripsOverLeapDaysAndCenturies) {
  for (int year : {1601, 1700, 1900, 2000, 2016, 2100, 2400, 9999, 30827}) {
    for (int month = 1; month <= 12; ++month) {
      for (int day : {1, 28, 29, 30, 31}) {
        const CalendarFields f = Fields(year, month, day, 23, 59, 59, 999);
        const auto ticks = FieldsToTicks(f);
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        const int last = month == 2                                                ? (leap ? 29 : 28)
                         : (month == 4 || month == 6 || month == 9 || month == 11) ? 30
                                                                                   : 31;
        ASSERT_EQ(ticks.has_value(), day <= last) << year << "-" << month << "-" << day;
        if (!ticks) continue;
        CalendarFields back = *TicksToFields(*ticks);
        back.day_of_week = 0;
        EXPECT_EQ(back, f);
      }
    }
  }
}

TEST(CalendarTest, TicksToFieldsCoversEveryNonNegativeTick) {
  EXPECT_FALSE(TicksToFields(-1).has_value());
  const CalendarFields last = *TicksToFields(INT64_MAX);
  EXPECT_EQ(last.year, 30828);
  EXPECT_EQ(last.month, 9);
  EXPECT_EQ(last.day, 14);
  EXPECT_EQ(TicksToFields(kLastTickOfMaxYear + 1)->year, 30828);
}

TEST(CalendarTest, RejectsWhatTheSystemRejects) {
  EXPECT_FALSE(FieldsToTicks(Fields(1600, 12, 31)));
  EXPECT_FALSE(FieldsToTicks(Fields(30828, 1, 1)));
  EXPECT_FALSE(FieldsToTicks(Fields(2016, 1, 1, 0, 0, 0, 1000)));
  EXPECT_FALSE(FieldsToTicks(Fields(2016, 1, 32)));
  EXPECT_FALSE(FieldsToTicks(Fields(2016, 1, 1, 0, 0, 0, 65535)));
}

}  // namespace
}  // namespace datetime::calendar
