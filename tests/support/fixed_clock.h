// A clock and zone that tests set by hand: the local time stands still until
// a test moves it, and the zone offset is whatever the test says is in effect
// now. The calendar is the portable one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <ostream>

#include "scheduler/schedule/datetime/calendar.h"
#include "scheduler/schedule/datetime/clock.h"
#include "scheduler/schedule/datetime/date_time.h"
#include "scheduler/schedule/datetime/time_span.h"

namespace test_support {

// Calendar fields from plain numbers, day of week left 0; each cut to 16 bits
// as the platform's record holds them.
inline datetime::CalendarFields Fields(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                                       int millisecond = 0) {
  datetime::CalendarFields f;
  f.year = static_cast<std::uint16_t>(year);
  f.month = static_cast<std::uint16_t>(month);
  f.day = static_cast<std::uint16_t>(day);
  f.hour = static_cast<std::uint16_t>(hour);
  f.minute = static_cast<std::uint16_t>(minute);
  f.second = static_cast<std::uint16_t>(second);
  f.millisecond = static_cast<std::uint16_t>(millisecond);
  return f;
}

class FixedClock final : public datetime::Clock {
 public:
  // Local now as calendar fields (must be valid).
  void SetLocalNow(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int millisecond = 0) {
    local_now_ = datetime::calendar::FieldsToTicks(Fields(year, month, day, hour, minute, second, millisecond)).value();
  }
  void SetLocalNowTicks(std::int64_t ticks) { local_now_ = ticks; }
  void Advance(datetime::TimeSpan span) { local_now_ += span.ticks(); }
  std::int64_t local_now_ticks() const { return local_now_; }

  // The zone offset now in effect: local time = UTC + offset.
  void SetUtcOffsetMinutes(int minutes) { offset_ = minutes * datetime::kTicksPerMinute; }

  // How often the current time was read.
  int now_reads() const { return now_reads_; }

  datetime::CalendarFields LocalNow() const override {
    ++now_reads_;
    return datetime::calendar::TicksToFields(local_now_).value();
  }
  std::optional<std::int64_t> FieldsToTicks(const datetime::CalendarFields& fields) const override {
    return datetime::calendar::FieldsToTicks(fields);
  }
  std::optional<datetime::CalendarFields> TicksToFields(std::int64_t ticks) const override {
    return datetime::calendar::TicksToFields(ticks);
  }
  std::int64_t LocalToUtc(std::int64_t local_ticks) const override {
    return datetime::SaturatingSubtract(local_ticks, offset_);
  }
  int Compare(std::int64_t a, std::int64_t b) const override { return a < b ? -1 : (a > b ? 1 : 0); }

 private:
  std::int64_t local_now_ = 0;
  std::int64_t offset_ = 0;
  mutable int now_reads_ = 0;
};

// A local calendar instant as a Local DateTime, for expectations.
inline datetime::DateTime Local(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                                int millisecond = 0) {
  return datetime::DateTime(
      datetime::calendar::FieldsToTicks(Fields(year, month, day, hour, minute, second, millisecond)).value(),
      datetime::DateTimeKind::Local);
}

}  // namespace test_support

namespace datetime {

// Test failures show values as calendar text.
inline void PrintTo(const DateTime& value, std::ostream* os) {
  const std::optional<CalendarFields> f = calendar::TicksToFields(value.ticks());
  char text[64] = "before 1601";
  if (f) {
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", f->year, f->month, f->day, f->hour,
                  f->minute, f->second, f->millisecond);
  }
  *os << text << (value.kind() == DateTimeKind::Local ? " Local" : " Utc") << " (" << value.ticks() << ")";
}

}  // namespace datetime
