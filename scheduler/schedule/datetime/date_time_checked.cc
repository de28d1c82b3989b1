// The throwing calendar constructor, apart from the rest of DateTime: a
// program that never calls it links none of the standard exception classes
// it needs.
#include "scheduler/schedule/datetime/date_time.h"

namespace datetime {

DateTime::DateTime(std::uint16_t year, std::uint16_t month, std::uint16_t day, std::uint16_t hour, std::uint16_t minute,
                   std::uint16_t second) {
  const std::optional<DateTime> value = FromCalendar(year, month, day, hour, minute, second);
  if (!value) throw ArgumentOutOfRangeError();
  *this = *value;
}

}  // namespace datetime
