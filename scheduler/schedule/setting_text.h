// Readers for the texts of the schedule settings and the scan history.
// Every text is taken up to its first terminator; none of them can fail in a
// way that escapes: bad text gives false, 0 or "no schedule".
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "scheduler/schedule/datetime/date_time.h"
#include "scheduler/schedule/datetime/time_span.h"

namespace schedule {

// A setting word equals a literal: the whole text, ASCII letters compared
// without regard to case.
bool SettingEquals(std::u16string_view text, std::u16string_view word);

// A decimal number read the way wcstol reads one in base 10, where long has
// 32 bits: ASCII white space skipped, an optional sign, ASCII digits up to
// the first other character. Text without digits reads 0.
struct DecimalReading {
  std::int32_t value = 0;  // saturated at the 32-bit limits
  bool in_range = true;    // false when the digits lie outside int32
};
DecimalReading ReadDecimal(std::u16string_view text);

// Timestamp text: six decimal fields year, month, day, hour, minute, second
// separated by single characters from "- :T", local time ("2016-04-22
// 13:45:10", "2016-04-22T13:45:10"). True and a Local value in `out` when the
// text has exactly six fields, each within int32, that form a valid date and
// time (each field cut to its low 16 bits); otherwise false and `out`
// untouched. Never throws.
bool ParseTimestamp(std::u16string_view text, datetime::DateTime& out);

// Time of day from "SchedulerAround": decimal hours, optionally followed by a
// colon and decimal minutes. Nothing is range-tested: "25" is 01:00 of the
// next day, negative hours count back from midnight, minutes of 0 or less add
// nothing; numbers beyond int32 read as the nearest limit.
datetime::TimeSpan ParseTimeOfDay(std::u16string_view text);

// Schedule codes of "SchedulerWhen": 1 = Monday ... 7 = Sunday, 8 daily,
// 9 startup, 0 no schedule.
enum class ScheduleCode : int {
  kNone = 0,
  kMonday = 1,
  kTuesday = 2,
  kWednesday = 3,
  kThursday = 4,
  kFriday = 5,
  kSaturday = 6,
  kSunday = 7,
  kDaily = 8,
  kStartup = 9,
};

// The words of "SchedulerWhen" (compared without regard to case). "never"
// switches scheduled scans off, as any word outside the table does; it is
// listed so that a policy can say so in words.
struct ScheduleWord {
  std::u16string_view word;
  ScheduleCode code;
};
inline constexpr std::array<ScheduleWord, 10> kScheduleWords{{
    {u"startup", ScheduleCode::kStartup},
    {u"daily", ScheduleCode::kDaily},
    {u"mon", ScheduleCode::kMonday},
    {u"tue", ScheduleCode::kTuesday},
    {u"wed", ScheduleCode::kWednesday},
    {u"thu", ScheduleCode::kThursday},
    {u"fri", ScheduleCode::kFriday},
    {u"sat", ScheduleCode::kSaturday},
    {u"sun", ScheduleCode::kSunday},
    {u"never", ScheduleCode::kNone},
}};
ScheduleCode ScheduleCodeFromWord(std::u16string_view word);

// The calendar's day of week (0 = Sunday ... 6 = Saturday) of a weekday code;
// -1 for the other codes.
int DayOfWeekFromScheduleCode(ScheduleCode code);

}  // namespace schedule
