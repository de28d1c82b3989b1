// The system's clock and time zone, through kernel32's time functions.
#pragma once

#include "scheduler/schedule/datetime/clock.h"

namespace datetime {

class Win32Clock final : public Clock {
 public:
  // GetLocalTime.
  CalendarFields LocalNow() const override;
  // SystemTimeToFileTime, for years 1601..30827.
  std::optional<std::int64_t> FieldsToTicks(const CalendarFields& fields) const override;
  // FileTimeToSystemTime.
  std::optional<CalendarFields> TicksToFields(std::int64_t ticks) const override;
  // LocalFileTimeToFileTime.
  std::int64_t LocalToUtc(std::int64_t local_ticks) const override;
  // CompareFileTime.
  int Compare(std::int64_t a, std::int64_t b) const override;
};

}  // namespace datetime
