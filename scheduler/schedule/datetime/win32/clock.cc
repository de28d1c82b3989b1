#include "scheduler/schedule/datetime/win32/clock.h"

#include <windows.h>

#include "scheduler/schedule/datetime/calendar.h"
#include "scheduler/schedule/datetime/time_span.h"

namespace datetime {
namespace {

FILETIME ToFileTime(std::int64_t ticks) {
  const auto value = static_cast<std::uint64_t>(ticks);
  FILETIME file_time;
  file_time.dwLowDateTime = static_cast<DWORD>(value);
  file_time.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return file_time;
}

std::int64_t FromFileTime(const FILETIME& file_time) {
  return static_cast<std::int64_t>((std::uint64_t{file_time.dwHighDateTime} << 32) | file_time.dwLowDateTime);
}

CalendarFields FromSystemTime(const SYSTEMTIME& t) {
  return CalendarFields{t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

// A date in the middle of the calendar, for reading the offset now in effect.
constexpr std::int64_t kReferenceTicks = 125'911'584'000'000'000;  // 2000-01-01

}  // namespace

CalendarFields Win32Clock::LocalNow() const {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return FromSystemTime(now);
}

std::optional<std::int64_t> Win32Clock::FieldsToTicks(const CalendarFields& f) const {
  // Two rules are tested here, because some implementations of the call miss
  // them: years past 30827 (accepted, and the ticks wrap) and February 29 of
  // a year that is not a leap year (accepted as March 1).
  if (f.year < calendar::kMinYear || f.year > calendar::kMaxYear) return std::nullopt;
  const bool leap_year = (f.year % 4 == 0 && f.year % 100 != 0) || f.year % 400 == 0;
  if (f.month == 2 && f.day == 29 && !leap_year) return std::nullopt;
  const SYSTEMTIME t{f.year, f.month, f.day_of_week, f.day, f.hour, f.minute, f.second, f.millisecond};
  FILETIME file_time;
  if (!::SystemTimeToFileTime(&t, &file_time)) return std::nullopt;
  return FromFileTime(file_time);
}

std::optional<CalendarFields> Win32Clock::TicksToFields(std::int64_t ticks) const {
  if (ticks < 0) return std::nullopt;
  const FILETIME file_time = ToFileTime(ticks);
  SYSTEMTIME t;
  if (!::FileTimeToSystemTime(&file_time, &t)) return std::nullopt;
  return FromSystemTime(t);
}

std::int64_t Win32Clock::LocalToUtc(std::int64_t local_ticks) const {
  FILETIME utc;
  // Within the calendar the system converts the value itself; outside it (a
  // value no FILETIME holds, or one the offset would carry past the limits)
  // the offset now in effect is applied with saturation.
  constexpr std::int64_t kMargin = 2 * kTicksPerDay;
  if (local_ticks >= kMargin && local_ticks <= calendar::kLastTickOfMaxYear) {
    const FILETIME local = ToFileTime(local_ticks);
    ::LocalFileTimeToFileTime(&local, &utc);
    return FromFileTime(utc);
  }
  const FILETIME reference = ToFileTime(kReferenceTicks);
  ::LocalFileTimeToFileTime(&reference, &utc);
  const std::int64_t offset = kReferenceTicks - FromFileTime(utc);
  return SaturatingSubtract(local_ticks, offset);
}

int Win32Clock::Compare(std::int64_t a, std::int64_t b) const {
  const FILETIME left = ToFileTime(a);
  const FILETIME right = ToFileTime(b);
  return static_cast<int>(::CompareFileTime(&left, &right));
}

const Clock& PlatformClock() {
  static const Win32Clock clock;
  return clock;
}

}  // namespace datetime
