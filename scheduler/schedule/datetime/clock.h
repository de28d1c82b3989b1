// The clock and time zone that DateTime reads: the current local wall-clock
// time, the conversions between calendar fields and ticks, local-to-UTC with
// the offset in effect now, and the order of two tick counts.
//
// How DateTime::Now reaches a clock: every DateTime operation that needs the
// clock or the zone asks ActiveClock(). That is the clock installed last with
// InstallClock, or, when none is installed, PlatformClock(): on Windows the
// system's own clock and zone, elsewhere the system clock read as UTC (local
// time equals UTC; the portable build has no zone database). Tests install a
// fixed clock for a scope with ScopedClockOverride. The installed clock is a
// plain process-wide pointer: install it before other threads read the time.
#pragma once

#include <cstdint>
#include <optional>

namespace datetime {

// Calendar form of an instant, laid out like the platform's SYSTEMTIME.
// day_of_week: 0 = Sunday ... 6 = Saturday.
struct CalendarFields {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t day_of_week = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t millisecond = 0;

  friend bool operator==(const CalendarFields&, const CalendarFields&) = default;
};

class Clock {
 public:
  virtual ~Clock() = default;

  // The current local wall-clock time, to the millisecond.
  virtual CalendarFields LocalNow() const = 0;
  // Calendar fields to ticks since 1601-01-01. Fields that form no valid date
  // and time, or a year outside 1601..30827, give nullopt. day_of_week is
  // ignored.
  virtual std::optional<std::int64_t> FieldsToTicks(const CalendarFields& fields) const = 0;
  // Ticks to calendar fields, day of week included; nullopt for negative ticks.
  virtual std::optional<CalendarFields> TicksToFields(std::int64_t ticks) const = 0;
  // Local ticks to UTC ticks with the zone offset (daylight saving included)
  // in effect now, whatever the date converted. Saturates at the int64 limits.
  virtual std::int64_t LocalToUtc(std::int64_t local_ticks) const = 0;
  // -1, 0 or +1 as `a` is earlier than, equal to or later than `b`. Both are
  // non-negative (valid FILETIME values).
  virtual int Compare(std::int64_t a, std::int64_t b) const = 0;
};

// The clock DateTime uses now.
const Clock& ActiveClock();

// Makes `clock` the active one (null: back to PlatformClock()) and returns the
// one installed before. The clock must outlive its installation.
const Clock* InstallClock(const Clock* clock);

// The platform's own clock and zone.
const Clock& PlatformClock();

// Installs a clock for the lifetime of the object, then restores the previous.
class ScopedClockOverride {
 public:
  explicit ScopedClockOverride(const Clock& clock) : previous_(InstallClock(&clock)) {}
  ScopedClockOverride(const ScopedClockOverride&) = delete;
  ScopedClockOverride& operator=(const ScopedClockOverride&) = delete;
  ~ScopedClockOverride() { InstallClock(previous_); }

 private:
  const Clock* previous_;
};

}  // namespace datetime
