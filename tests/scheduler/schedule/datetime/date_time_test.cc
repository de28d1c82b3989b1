#include "scheduler/schedule/datetime/date_time.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "support/fixed_clock.h"

namespace datetime {
namespace {

using test_support::FixedClock;
using test_support::Local;

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

class DateTimeTest : public ::testing::Test {
 protected:
  DateTimeTest() { clock_.SetLocalNow(2016, 4, 22, 13, 45, 10, 500); }
  FixedClock clock_;
  ScopedClockOverride use_clock_{clock_};
};

TEST(TimeSpanTest, FactoriesTruncateTowardZero) {
  EXPECT_EQ(TimeSpan::FromHours(24.0).ticks(), 864'000'000'000);
  EXPECT_EQ(TimeSpan::FromHours(1.5).ticks(), 54'000'000'000);
  EXPECT_EQ(TimeSpan::FromMinutes(-1.0).ticks(), -600'000'000);
  EXPECT_EQ(TimeSpan::FromDays(30.0).ticks(), 25'920'000'000'000);
  // 3 * 2^-40 days is 2.36 ticks: toward zero, not toward minus infinity.
  EXPECT_EQ(TimeSpan::FromDays(0x3p-40).ticks(), 2);
  EXPECT_EQ(TimeSpan::FromDays(-0x3p-40).ticks(), -2);
}

TEST(TimeSpanTest, ProductsBeyondInt64SaturateInsteadOfConverting) {
  EXPECT_EQ(TimeSpan::FromHours(2147483647.0).ticks(), kMax);
  EXPECT_EQ(TimeSpan::FromHours(-2147483648.0).ticks(), kMin);
  EXPECT_EQ(TimeSpan::FromMinutes(2147483647.0).ticks(), 2147483647LL * 600'000'000);  // still fits
  EXPECT_EQ(TimeSpan::FromDays(1e300).ticks(), kMax);
  EXPECT_EQ(TimeSpan::FromDays(-std::numeric_limits<double>::infinity()).ticks(), kMin);
  EXPECT_EQ(TimeSpan::FromDays(std::numeric_limits<double>::quiet_NaN()).ticks(), 0);
  // -2^63 itself fits.
  EXPECT_EQ(TruncateToTicks(-9223372036854775808.0), kMin);
  EXPECT_EQ(TruncateToTicks(9223372036854774784.0), 9223372036854774784);
}

TEST(TimeSpanTest, SumsSaturate) {
  EXPECT_EQ((TimeSpan(kMax) + TimeSpan(1)).ticks(), kMax);
  EXPECT_EQ((TimeSpan(kMin) + TimeSpan(-1)).ticks(), kMin);
  EXPECT_EQ((TimeSpan(kMax) + TimeSpan(kMin)).ticks(), -1);
}

TEST_F(DateTimeTest, MaxValueIsTheLastMillisecondOf9999) {
  EXPECT_EQ(DateTime::MaxValue().ticks(), 0x24C85A5ED1C018F0);
  EXPECT_EQ(DateTime::MaxValue().kind(), DateTimeKind::Local);
  const CalendarFields f = DateTime::MaxValue().ToCalendar().value();
  EXPECT_EQ(f, (CalendarFields{9999, 12, 5, 31, 23, 59, 59, 999}));
}

TEST_F(DateTimeTest, CalendarConstructorMakesLocalTime) {
  const DateTime leap(2016, 2, 29, 10, 0, 0);
  EXPECT_EQ(leap, Local(2016, 2, 29, 10));
  EXPECT_EQ(DateTime(1601, 1, 1, 0, 0, 0).ticks(), 0);
}

TEST_F(DateTimeTest, CalendarConstructorRejectsFieldsThatFormNoDate) {
  const auto fails = [](std::uint16_t y, std::uint16_t mo, std::uint16_t d, std::uint16_t h, std::uint16_t mi,
                        std::uint16_t s) {
    EXPECT_FALSE(DateTime::FromCalendar(y, mo, d, h, mi, s).has_value()) << y << "-" << mo << "-" << d;
    try {
      DateTime(y, mo, d, h, mi, s);
      ADD_FAILURE() << "no error for " << y << "-" << mo << "-" << d << " " << h << ":" << mi << ":" << s;
    } catch (const ArgumentOutOfRangeError& error) {
      EXPECT_STREQ(error.what(), "DateTime() ArgumentOutOfRangeException");
    }
  };
  fails(2015, 2, 29, 10, 0, 0);
  fails(2100, 2, 29, 0, 0, 0);  // not a leap year
  fails(2016, 4, 31, 0, 0, 0);
  fails(2016, 13, 1, 0, 0, 0);
  fails(2016, 0, 1, 0, 0, 0);
  fails(2016, 1, 0, 0, 0, 0);
  fails(2016, 1, 1, 24, 0, 0);
  fails(2016, 1, 1, 0, 60, 0);
  fails(2016, 1, 1, 0, 0, 60);
  fails(1600, 12, 31, 23, 59, 59);
  fails(30828, 1, 1, 0, 0, 0);
  fails(65535, 65535, 65535, 65535, 65535, 65535);
  EXPECT_TRUE(DateTime::FromCalendar(2000, 2, 29, 0, 0, 0).has_value());
  EXPECT_TRUE(DateTime::FromCalendar(30827, 12, 31, 23, 59, 59).has_value());
}

TEST_F(DateTimeTest, DateIsMidnightOfTheSameDayAndKind) {
  const DateTime afternoon = Local(2016, 4, 22, 13, 45, 10, 500);
  EXPECT_EQ(afternoon.Date(), Local(2016, 4, 22));
  EXPECT_EQ(afternoon.Date().Date(), Local(2016, 4, 22));
  const DateTime utc(afternoon.ticks(), DateTimeKind::Utc);
  EXPECT_EQ(utc.Date(), DateTime(Local(2016, 4, 22).ticks(), DateTimeKind::Utc));
  // Before 1601 the remainder keeps the dividend's sign: the value moves up.
  EXPECT_EQ(DateTime(-kTicksPerHour, DateTimeKind::Local).Date().ticks(), 0);
  EXPECT_EQ(DateTime(kMin, DateTimeKind::Local).Date().ticks(), kMin - kMin % kTicksPerDay);
}

TEST_F(DateTimeTest, AdditionsAreExactAndKeepTheKind) {
  const DateTime start = Local(2016, 4, 22, 13, 45, 10);
  EXPECT_EQ(start.AddSeconds(3.0).ticks() - start.ticks(), 30'000'000);
  EXPECT_EQ(start.AddSeconds(10.0).ticks() - start.ticks(), 100'000'000);
  EXPECT_EQ(start.AddDays(1.0).ticks() - start.ticks(), 864'000'000'000);
  EXPECT_EQ(start.AddDays(7.0).ticks() - start.ticks(), 6'048'000'000'000);
  EXPECT_EQ(start + TimeSpan::FromHours(1.5), Local(2016, 4, 22, 15, 15, 10));
  EXPECT_EQ(start - TimeSpan::FromHours(24.0), Local(2016, 4, 21, 13, 45, 10));
  const DateTime utc(start.ticks(), DateTimeKind::Utc);
  EXPECT_EQ(utc.AddDays(1.0).kind(), DateTimeKind::Utc);
  EXPECT_EQ((utc + TimeSpan(1)).kind(), DateTimeKind::Utc);
}

TEST_F(DateTimeTest, AdditionsSaturateAtTheTickLimits) {
  const DateTime start = Local(2016, 4, 22);
  EXPECT_EQ((start + TimeSpan(kMax)).ticks(), kMax);
  EXPECT_EQ((DateTime(-1, DateTimeKind::Local) + TimeSpan(kMin)).ticks(), kMin);
  EXPECT_EQ((DateTime(kMin, DateTimeKind::Local) - TimeSpan(1)).ticks(), kMin);
  EXPECT_EQ((start - TimeSpan(kMin)).ticks(), kMax);
  EXPECT_EQ(start.AddDays(1e20).ticks(), kMax);
  EXPECT_EQ(DateTime(kMax, DateTimeKind::Local).AddSeconds(10.0).ticks(), kMax);
  EXPECT_EQ(start.AddSeconds(-1e300).ticks(), start.ticks() + kMin);
  EXPECT_EQ(DateTime(-1, DateTimeKind::Local).AddSeconds(-1e300).ticks(), kMin);
}

TEST_F(DateTimeTest, ToUniversalTimeUsesTheOffsetNowInEffect) {
  clock_.SetUtcOffsetMinutes(120);
  const DateTime local = Local(2016, 10, 1, 12);
  const DateTime utc = local.ToUniversalTime();
  EXPECT_EQ(utc, DateTime(Local(2016, 10, 1, 10).ticks(), DateTimeKind::Utc));
  EXPECT_EQ(utc.ToUniversalTime(), utc);
  // The same date converted after the zone changed its offset.
  clock_.SetUtcOffsetMinutes(60);
  EXPECT_EQ(local.ToUniversalTime().ticks(), Local(2016, 10, 1, 11).ticks());
}

TEST_F(DateTimeTest, ComparisonIsStrictAndNormalisesMixedKinds) {
  clock_.SetUtcOffsetMinutes(-300);
  const DateTime local = Local(2016, 4, 22, 12);
  const DateTime utc = local.ToUniversalTime();
  EXPECT_FALSE(local < utc);
  EXPECT_FALSE(utc < local);
  EXPECT_FALSE(local < local);
  // Same ticks, different kinds: 12:00 local is 17:00 UTC here.
  const DateTime utc_noon(local.ticks(), DateTimeKind::Utc);
  EXPECT_TRUE(utc_noon < local);
  EXPECT_TRUE(local > utc_noon);
  EXPECT_TRUE(local < local + TimeSpan(1));
}

TEST_F(DateTimeTest, TicksBefore1601OrderBelowEveryFileTime) {
  const DateTime before(-1, DateTimeKind::Local);
  const DateTime far_before(kMin, DateTimeKind::Local);
  EXPECT_TRUE(before < DateTime(0, DateTimeKind::Local));
  EXPECT_TRUE(far_before < before);
  EXPECT_TRUE(before < DateTime::MaxValue());
  EXPECT_FALSE(DateTime(kMax, DateTimeKind::Local) < DateTime::MaxValue());
}

}  // namespace
}  // namespace datetime
