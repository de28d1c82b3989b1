#include "scheduler/schedule/setting_text.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fixed_clock.h"

namespace schedule {
namespace {

using datetime::DateTime;
using datetime::TimeSpan;
using test_support::FixedClock;
using test_support::Local;

class ParseTimestampTest : public ::testing::Test {
 protected:
  // The result of a parse, or a sentinel that shows the output was untouched.
  static DateTime Parse(std::u16string_view text, bool expect_success) {
    DateTime out(-12345, datetime::DateTimeKind::Utc);
    EXPECT_EQ(ParseTimestamp(text, out), expect_success) << std::string(text.begin(), text.end());
    if (!expect_success) {
      EXPECT_EQ(out, DateTime(-12345, datetime::DateTimeKind::Utc));
    }
    return out;
  }
  FixedClock clock_;
  datetime::ScopedClockOverride use_clock_{clock_};
};

TEST_F(ParseTimestampTest, EverySeparatorGivesTheSameLocalValue) {
  const DateTime expected = Local(2016, 4, 22, 13, 45, 10);
  EXPECT_EQ(Parse(u"2016-04-22 13:45:10", true), expected);
  EXPECT_EQ(Parse(u"2016-04-22T13:45:10", true), expected);
  EXPECT_EQ(Parse(u"2016 04 22 13 45 10", true), expected);
  EXPECT_EQ(Parse(u"2016:4:22-13T45-10", true), expected);
  EXPECT_EQ(Parse(u"2016-04-22 13:45:10", true).kind(), datetime::DateTimeKind::Local);
}

TEST_F(ParseTimestampTest, TextAfterTheDigitsOfAFieldIsIgnored) {
  EXPECT_EQ(Parse(u"2016-04-22 13:45:10.250", true), Local(2016, 4, 22, 13, 45, 10));
  EXPECT_EQ(Parse(u"2016y-04m-22d 13h:45m:10s", true), Local(2016, 4, 22, 13, 45, 10));
  // A field with no digits reads 0.
  EXPECT_EQ(Parse(u"2016-04-22 x:45:10", true), Local(2016, 4, 22, 0, 45, 10));
  // The text ends at its terminator.
  EXPECT_EQ(Parse(std::u16string(u"2016-04-22 13:45:10\0:00", 24), true), Local(2016, 4, 22, 13, 45, 10));
}

TEST_F(ParseTimestampTest, AnythingButSixFieldsFails) {
  Parse(u"2016-04-22 13:45", false);
  Parse(u"2016/04/22 13:45:10", false);  // four fields
  Parse(u"2016-04-22 13:45:10:00", false);
  Parse(u"2016-04-22 13:45:10 ", false);  // a trailing separator opens a seventh
  Parse(u"", false);
  Parse(u"garbage", false);
  // Leading blank: the first field is read past it, then the blank starts a second.
  Parse(u" 2016-04-22 13:45:10", false);
}

TEST_F(ParseTimestampTest, AMinusSignAlwaysSeparates) {
  // "-0" is read as a field, then its minus starts the next one, which reads 0 again.
  EXPECT_EQ(Parse(u"2016-04-22 13:-0", true), Local(2016, 4, 22, 13, 0, 0));
  Parse(u"2016-04-22 13:45:-0", false);
}

TEST_F(ParseTimestampTest, FieldsOutsideInt32Fail) {
  Parse(u"2016-04-22 13:45:2147483648", false);
  Parse(u"99999999999999999999-04-22 13:45:10", false);
  Parse(u"2016-04-22 13:45:+2147483648", false);
}

TEST_F(ParseTimestampTest, FieldsAreCutToTheirLow16Bits) {
  // 67552 = 65536 + 2016; 65540 = 65536 + 4.
  EXPECT_EQ(Parse(u"67552-65540-22 13:45:10", true), Local(2016, 4, 22, 13, 45, 10));
  // 2147483647 cuts to 65535, which is no second.
  Parse(u"2016 4 22 13 45 2147483647", false);
}

TEST_F(ParseTimestampTest, SixFieldsThatFormNoDateFailWithoutAnError) {
  Parse(u"2015-02-29 10:00:00", false);
  Parse(u"2016-13-01 00:00:00", false);
  Parse(u"2016-04-31 00:00:00", false);
  Parse(u"2016-04-22 24:00:00", false);
  Parse(u"2016-04-22 23:60:00", false);
  Parse(u"2016-04-22 23:59:60", false);
  Parse(u"1600-12-31 23:59:59", false);
  Parse(u"0-0-0 0:0:0", false);
  EXPECT_EQ(Parse(u"2016-02-29 10:00:00", true), Local(2016, 2, 29, 10));
  EXPECT_EQ(Parse(u"30827-12-31 23:59:59", true), Local(30827, 12, 31, 23, 59, 59));
}

TEST(ReadDecimalTest, ReadsLikeWcstolWithA32BitLong) {
  EXPECT_EQ(ReadDecimal(u"  \t+42abc").value, 42);
  EXPECT_EQ(ReadDecimal(u"-7").value, -7);
  EXPECT_EQ(ReadDecimal(u"x1").value, 0);
  EXPECT_EQ(ReadDecimal(u"- 1").value, 0);
  EXPECT_EQ(ReadDecimal(u"2147483647").value, 2147483647);
  EXPECT_TRUE(ReadDecimal(u"-2147483648").in_range);
  EXPECT_EQ(ReadDecimal(u"-2147483648").value, INT32_MIN);
  EXPECT_FALSE(ReadDecimal(u"2147483648").in_range);
  EXPECT_EQ(ReadDecimal(u"2147483648").value, INT32_MAX);
  EXPECT_FALSE(ReadDecimal(u"-2147483649").in_range);
  EXPECT_EQ(ReadDecimal(u"-000000000000000000000000000000000000001").value, -1);
  EXPECT_EQ(ReadDecimal(u"-99999999999999999999999999999999999999").value, INT32_MIN);
}

TEST(ParseTimeOfDayTest, HoursAndOptionalMinutes) {
  EXPECT_EQ(ParseTimeOfDay(u"14"), TimeSpan::FromHours(14));
  EXPECT_EQ(ParseTimeOfDay(u"14:30"), TimeSpan::FromHours(14) + TimeSpan::FromMinutes(30));
  EXPECT_EQ(ParseTimeOfDay(u"7:05"), TimeSpan::FromHours(7) + TimeSpan::FromMinutes(5));
  EXPECT_EQ(ParseTimeOfDay(u"14:"), TimeSpan::FromHours(14));
  EXPECT_EQ(ParseTimeOfDay(u":30"), TimeSpan::FromMinutes(30));
  EXPECT_EQ(ParseTimeOfDay(u""), TimeSpan());
  EXPECT_EQ(ParseTimeOfDay(u"noon"), TimeSpan());
  // Only the first colon splits.
  EXPECT_EQ(ParseTimeOfDay(u"1:2:3"), TimeSpan::FromHours(1) + TimeSpan::FromMinutes(2));
}

TEST(ParseTimeOfDayTest, NothingIsRangeTested) {
  EXPECT_EQ(ParseTimeOfDay(u"25"), TimeSpan::FromHours(25));
  EXPECT_EQ(ParseTimeOfDay(u"-2"), TimeSpan::FromHours(-2));
  EXPECT_EQ(ParseTimeOfDay(u"10:90"), TimeSpan::FromHours(11) + TimeSpan::FromMinutes(30));
  // Minutes of 0 or less add nothing.
  EXPECT_EQ(ParseTimeOfDay(u"10:-30"), TimeSpan::FromHours(10));
  EXPECT_EQ(ParseTimeOfDay(u"-1:30"), TimeSpan::FromMinutes(-30));
}

TEST(ParseTimeOfDayTest, ExtremeNumbersSaturate) {
  constexpr std::int64_t kMax = INT64_MAX;
  EXPECT_EQ(ParseTimeOfDay(u"2147483647").ticks(), kMax);
  EXPECT_EQ(ParseTimeOfDay(u"99999999999999999999").ticks(), kMax);
  EXPECT_EQ(ParseTimeOfDay(u"-2147483648").ticks(), INT64_MIN);
  EXPECT_EQ(ParseTimeOfDay(u"2147483647:2147483647").ticks(), kMax);
  EXPECT_EQ(ParseTimeOfDay(u"0:99999999999").ticks(), 2147483647LL * 600'000'000);
  EXPECT_EQ(ParseTimeOfDay(u"-2147483648:2147483647").ticks(), INT64_MIN + 2147483647LL * 600'000'000);
}

TEST(ScheduleWordsTest, WholeWordWithoutRegardToCase) {
  EXPECT_EQ(ScheduleCodeFromWord(u"startup"), ScheduleCode::kStartup);
  EXPECT_EQ(ScheduleCodeFromWord(u"StartUp"), ScheduleCode::kStartup);
  EXPECT_EQ(ScheduleCodeFromWord(u"Daily"), ScheduleCode::kDaily);
  EXPECT_EQ(ScheduleCodeFromWord(u"DAILY"), ScheduleCode::kDaily);
  EXPECT_EQ(ScheduleCodeFromWord(u"SUN"), ScheduleCode::kSunday);
  EXPECT_EQ(ScheduleCodeFromWord(u"monday"), ScheduleCode::kNone);
  EXPECT_EQ(ScheduleCodeFromWord(u""), ScheduleCode::kNone);
  EXPECT_EQ(ScheduleCodeFromWord(u" daily"), ScheduleCode::kNone);
  EXPECT_EQ(ScheduleCodeFromWord(u"mo"), ScheduleCode::kNone);
}

TEST(ScheduleWordsTest, WeekdayCodesMapToTheCalendarsDayOfWeek) {
  const std::u16string_view words[] = {u"sun", u"mon", u"tue", u"wed", u"thu", u"fri", u"sat"};
  for (int day = 0; day < 7; ++day) {
    EXPECT_EQ(DayOfWeekFromScheduleCode(ScheduleCodeFromWord(words[day])), day);
  }
  EXPECT_EQ(DayOfWeekFromScheduleCode(ScheduleCode::kDaily), -1);
  EXPECT_EQ(DayOfWeekFromScheduleCode(ScheduleCode::kStartup), -1);
  EXPECT_EQ(DayOfWeekFromScheduleCode(ScheduleCode::kNone), -1);
}

}  // namespace
}  // namespace schedule
