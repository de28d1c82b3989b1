// The portable calendar and the system's time functions agree.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "scheduler/schedule/datetime/calendar.h"
#include "scheduler/schedule/datetime/time_span.h"
#include "scheduler/schedule/datetime/win32/clock.h"
#include "support/fixed_clock.h"

namespace datetime {
namespace {

using test_support::Fields;

class CalendarAgreementTest : public ::testing::Test {
 protected:
  // Both directions agree for these fields, and a valid value round-trips.
  void ExpectAgreement(const CalendarFields& f) {
    const std::optional<std::int64_t> portable = calendar::FieldsToTicks(f);
    const std::optional<std::int64_t> system = system_.FieldsToTicks(f);
    ASSERT_EQ(portable, system) << f.year << "-" << f.month << "-" << f.day << " " << f.hour << ":" << f.minute << ":"
                                << f.second << "." << f.millisecond;
    if (portable) ExpectAgreement(*portable);
  }
  void ExpectAgreement(std::int64_t ticks) {
    const std::optional<CalendarFields> portable = calendar::TicksToFields(ticks);
    ASSERT_EQ(portable, system_.TicksToFields(ticks)) << ticks;
  }

  Win32Clock system_;
};

TEST_F(CalendarAgreementTest, EdgesOfTheCalendar) {
  ExpectAgreement(Fields(1601, 1, 1));
  ExpectAgreement(Fields(1601, 1, 1, 0, 0, 0, 1));
  ExpectAgreement(Fields(1601, 12, 31, 23, 59, 59, 999));
  ExpectAgreement(Fields(1970, 1, 1));
  ExpectAgreement(Fields(9999, 12, 31, 23, 59, 59, 999));
  ExpectAgreement(Fields(10000, 1, 1));
  ExpectAgreement(Fields(30827, 1, 1));
  ExpectAgreement(Fields(30827, 12, 31, 23, 59, 59, 999));
  // Past the last valid year, ticks still read back as fields.
  ExpectAgreement(calendar::kLastTickOfMaxYear + 1);
  ExpectAgreement(INT64_MAX);
  EXPECT_EQ(system_.FieldsToTicks(Fields(9999, 12, 31, 23, 59, 59, 999)), 2'650'467'743'999'990'000);
  EXPECT_EQ(system_.TicksToFields(0x24C85A5ED1C018F0)->day_of_week, 5);
}

TEST_F(CalendarAgreementTest, LeapDays) {
  for (int year : {1604, 1700, 1800, 1900, 2000, 2015, 2016, 2100, 2400, 9996, 10000, 30824, 30800}) {
    ExpectAgreement(Fields(year, 2, 28, 12));
    ExpectAgreement(Fields(year, 2, 29, 12));
    ExpectAgreement(Fields(year, 3, 1, 12));
  }
}

TEST_F(CalendarAgreementTest, BothRejectTheSameFields) {
  for (const CalendarFields& f :
       {Fields(1600, 12, 31, 23, 59, 59, 999), Fields(2016, 0, 1), Fields(2016, 13, 1), Fields(2016, 1, 0),
        Fields(2016, 4, 31), Fields(2015, 2, 29), Fields(2016, 1, 1, 24), Fields(2016, 1, 1, 0, 60),
        Fields(2016, 1, 1, 0, 0, 60), Fields(2016, 1, 1, 0, 0, 0, 1000), Fields(65535, 65535, 65535)}) {
    ExpectAgreement(f);
  }
}

TEST_F(CalendarAgreementTest, PseudoRandomTicks) {
  std::mt19937_64 random(20160422);
  std::uniform_int_distribution<std::int64_t> ticks(0, calendar::kLastTickOfMaxYear);
  for (int i = 0; i < 20000; ++i) ExpectAgreement(ticks(random));
  // Midnights and whole seconds, where an off-by-one in the day split shows.
  std::uniform_int_distribution<std::int64_t> days(0, calendar::kLastTickOfMaxYear / kTicksPerDay);
  for (int i = 0; i < 5000; ++i) {
    const std::int64_t midnight = days(random) * kTicksPerDay;
    ExpectAgreement(midnight);
    if (midnight > 0) ExpectAgreement(midnight - 1);
  }
}

TEST_F(CalendarAgreementTest, PseudoRandomFieldsValidOrNot) {
  std::mt19937_64 random(1601);
  const auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  for (int i = 0; i < 20000; ++i) {
    ExpectAgreement(
        Fields(pick(1601, 30827), pick(0, 13), pick(0, 32), pick(0, 24), pick(0, 60), pick(0, 60), pick(0, 1000)));
  }
}

TEST_F(CalendarAgreementTest, LocalToUtcOutsideTheCalendarUsesTheOffsetNowInEffect) {
  const std::int64_t mid = 131'000'000'000'000'000;  // in 2016
  const std::int64_t offset = mid - system_.LocalToUtc(mid);
  EXPECT_EQ(system_.LocalToUtc(-kTicksPerDay), -kTicksPerDay - offset);
  EXPECT_EQ(system_.LocalToUtc(calendar::kLastTickOfMaxYear + 1), calendar::kLastTickOfMaxYear + 1 - offset);
  const std::int64_t max = INT64_MAX;
  EXPECT_EQ(system_.LocalToUtc(max), offset >= 0 ? max - offset : max);
}

TEST_F(CalendarAgreementTest, CompareOrdersFileTimes) {
  EXPECT_EQ(system_.Compare(1, 2), -1);
  EXPECT_EQ(system_.Compare(2, 2), 0);
  EXPECT_EQ(system_.Compare(calendar::kLastTickOfMaxYear, 0x100000000), 1);
  EXPECT_EQ(system_.Compare(0xFFFFFFFF, 0x100000000), -1);
}

}  // namespace
}  // namespace datetime
