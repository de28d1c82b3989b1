#include "scheduler/schedule/datetime/calendar.h"

#include <chrono>

#include "scheduler/schedule/datetime/time_span.h"

namespace datetime::calendar {
namespace {

using std::chrono::day;
using std::chrono::days;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

// Day number of 1601-01-01 counted from the system clock's epoch, 1970-01-01.
constexpr std::int64_t kEpochDay = sys_days(year_month_day(year(1601), month(1), day(1))).time_since_epoch().count();
static_assert(kEpochDay == -134774);

}  // namespace

std::optional<std::int64_t> FieldsToTicks(const CalendarFields& f) {
  if (f.year < kMinYear || f.year > kMaxYear) return std::nullopt;
  if (f.month < 1 || f.month > 12) return std::nullopt;
  if (f.hour >= 24 || f.minute >= 60 || f.second >= 60 || f.millisecond >= 1000) return std::nullopt;
  const year_month_day date(year(f.year), month(f.month), day(f.day));
  if (!date.ok()) return std::nullopt;  // day 0, or past the end of the month
  const std::int64_t day_number = sys_days(date).time_since_epoch().count() - kEpochDay;
  return day_number * kTicksPerDay + f.hour * kTicksPerHour + f.minute * kTicksPerMinute + f.second * kTicksPerSecond +
         std::int64_t{f.millisecond} * 10'000;
}

std::optional<CalendarFields> TicksToFields(std::int64_t ticks) {
  if (ticks < 0) return std::nullopt;
  const std::int64_t day_number = ticks / kTicksPerDay;
  std::int64_t rest = ticks % kTicksPerDay;
  const sys_days date_days{days(day_number + kEpochDay)};
  const year_month_day date(date_days);
  CalendarFields f;
  f.year = static_cast<std::uint16_t>(static_cast<int>(date.year()));
  f.month = static_cast<std::uint16_t>(static_cast<unsigned>(date.month()));
  f.day = static_cast<std::uint16_t>(static_cast<unsigned>(date.day()));
  f.day_of_week = static_cast<std::uint16_t>(std::chrono::weekday(date_days).c_encoding());
  f.hour = static_cast<std::uint16_t>(rest / kTicksPerHour);
  rest %= kTicksPerHour;
  f.minute = static_cast<std::uint16_t>(rest / kTicksPerMinute);
  rest %= kTicksPerMinute;
  f.second = static_cast<std::uint16_t>(rest / kTicksPerSecond);
  rest %= kTicksPerSecond;
  f.millisecond = static_cast<std::uint16_t>(rest / 10'000);
  return f;
}

}  // namespace datetime::calendar
