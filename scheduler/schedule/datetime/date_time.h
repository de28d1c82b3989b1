// An instant on the FILETIME scale (100-ns ticks since 1601-01-01 00:00:00)
// together with whether its ticks are local wall-clock time or UTC.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "scheduler/schedule/datetime/clock.h"
#include "scheduler/schedule/datetime/time_span.h"

namespace datetime {

enum class DateTimeKind : std::int32_t { Local = 0, Utc = 1 };

// The failure of the calendar constructor.
inline constexpr std::string_view kArgumentOutOfRangeText = "DateTime() ArgumentOutOfRangeException";

class ArgumentOutOfRangeError : public std::out_of_range {
 public:
  ArgumentOutOfRangeError() : std::out_of_range(std::string(kArgumentOutOfRangeText)) {}
};

// A plain value: every operation returns a new value. Arithmetic saturates at
// the int64 limits (see time_span.h). The clock and zone come from
// ActiveClock() (clock.h).
class DateTime final {
 public:
  // Tick 0 of kind Utc.
  constexpr DateTime() = default;
  constexpr DateTime(std::int64_t ticks, DateTimeKind kind) : ticks_(ticks), kind_(kind) {}

  // Local time from calendar fields, milliseconds 0. Throws
  // ArgumentOutOfRangeError ("DateTime() ArgumentOutOfRangeException") when
  // the fields form no valid date and time or the year lies outside
  // 1601..30827. Code that must not throw uses FromCalendar.
  DateTime(std::uint16_t year, std::uint16_t month, std::uint16_t day, std::uint16_t hour, std::uint16_t minute,
           std::uint16_t second);

  // The same conversion without the exception: nullopt where the constructor
  // would throw.
  static std::optional<DateTime> FromCalendar(std::uint16_t year, std::uint16_t month, std::uint16_t day,
                                              std::uint16_t hour, std::uint16_t minute, std::uint16_t second);

  // The current local wall-clock time, to the millisecond; kind Local.
  static DateTime Now();

  // 9999-12-31 23:59:59.999, Local: stands for "no known last scan".
  static constexpr DateTime MaxValue() { return DateTime(2'650'467'743'999'990'000, DateTimeKind::Local); }

  constexpr std::int64_t ticks() const { return ticks_; }
  constexpr DateTimeKind kind() const { return kind_; }

  // Midnight at the start of the same calendar day (remainder taken with
  // truncating division); same kind.
  constexpr DateTime Date() const { return DateTime(ticks_ - ticks_ % kTicksPerDay, kind_); }
  constexpr DateTime AddSeconds(double seconds) const {
    return DateTime(SaturatingAdd(ticks_, TruncateToTicks(10'000'000.0 * seconds)), kind_);
  }
  constexpr DateTime AddDays(double days) const {
    return DateTime(SaturatingAdd(ticks_, TruncateToTicks(864'000'000'000.0 * days)), kind_);
  }
  friend constexpr DateTime operator+(DateTime value, TimeSpan span) {
    return DateTime(SaturatingAdd(value.ticks_, span.ticks()), value.kind_);
  }
  // Only ever applied to Local values; the result is Local.
  friend constexpr DateTime operator-(DateTime value, TimeSpan span) {
    return DateTime(SaturatingSubtract(value.ticks_, span.ticks()), DateTimeKind::Local);
  }

  // A Local value converted with the zone offset in effect now (not the one
  // in effect at its date); a Utc value unchanged.
  DateTime ToUniversalTime() const;

  // The calendar fields of the ticks as they stand (no zone conversion), day
  // of week included; nullopt for negative ticks.
  std::optional<CalendarFields> ToCalendar() const;

  // Strictly earlier, after bringing a Local operand to UTC when the kinds
  // differ. Equal instants are neither earlier nor later.
  friend bool operator<(const DateTime& a, const DateTime& b);
  friend bool operator>(const DateTime& a, const DateTime& b) { return b < a; }

  // Same ticks and same kind (not: the same instant).
  friend constexpr bool operator==(const DateTime& a, const DateTime& b) = default;

 private:
  std::int64_t ticks_ = 0;
  DateTimeKind kind_ = DateTimeKind::Utc;
};

}  // namespace datetime
