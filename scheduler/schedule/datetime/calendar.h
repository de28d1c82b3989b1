// The proleptic Gregorian calendar on the FILETIME tick scale, computed with
// the standard library's calendar types. It validates fields the way the
// platform's SystemTimeToFileTime does.
#pragma once

#include <cstdint>
#include <optional>

#include "scheduler/schedule/datetime/clock.h"

namespace datetime::calendar {

inline constexpr int kMinYear = 1601;
inline constexpr int kMaxYear = 30827;
// The last tick of 30827-12-31, the end of the last valid year.
inline constexpr std::int64_t kLastTickOfMaxYear = 9'223'149'887'999'999'999;

// nullopt when the fields form no valid date and time (month 1-12, a day that
// exists in that month, hour < 24, minute < 60, second < 60, millisecond <
// 1000, year 1601..30827). day_of_week is ignored.
std::optional<std::int64_t> FieldsToTicks(const CalendarFields& fields);

// Calendar fields of any non-negative tick count (years up to 30828);
// nullopt for negative ticks.
std::optional<CalendarFields> TicksToFields(std::int64_t ticks);

}  // namespace datetime::calendar
