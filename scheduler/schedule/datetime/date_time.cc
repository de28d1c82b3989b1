#include "scheduler/schedule/datetime/date_time.h"

namespace datetime {

std::optional<DateTime> DateTime::FromCalendar(std::uint16_t year, std::uint16_t month, std::uint16_t day,
                                               std::uint16_t hour, std::uint16_t minute, std::uint16_t second) {
  CalendarFields fields;
  fields.year = year;
  fields.month = month;
  fields.day = day;
  fields.hour = hour;
  fields.minute = minute;
  fields.second = second;
  const std::optional<std::int64_t> ticks = ActiveClock().FieldsToTicks(fields);
  if (!ticks) return std::nullopt;
  return DateTime(*ticks, DateTimeKind::Local);
}

DateTime DateTime::Now() {
  const Clock& clock = ActiveClock();
  // The clock's own reading always converts.
  return DateTime(clock.FieldsToTicks(clock.LocalNow()).value_or(0), DateTimeKind::Local);
}

DateTime DateTime::ToUniversalTime() const {
  if (kind_ == DateTimeKind::Utc) return *this;
  return DateTime(ActiveClock().LocalToUtc(ticks_), DateTimeKind::Utc);
}

std::optional<CalendarFields> DateTime::ToCalendar() const { return ActiveClock().TicksToFields(ticks_); }

bool operator<(const DateTime& a, const DateTime& b) {
  std::int64_t left = a.ticks_;
  std::int64_t right = b.ticks_;
  if (a.kind_ != b.kind_) {
    if (a.kind_ == DateTimeKind::Local) left = a.ToUniversalTime().ticks_;
    if (b.kind_ == DateTimeKind::Local) right = b.ToUniversalTime().ticks_;
  }
  // Negative ticks are no FILETIME (they lie before 1601); they order below
  // every one, by their signed value.
  if (left < 0 || right < 0) return left < right;
  return ActiveClock().Compare(left, right) < 0;
}

}  // namespace datetime
