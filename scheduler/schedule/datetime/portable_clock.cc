// The platform clock of builds other than Windows: the system clock read as
// UTC, with a zone offset of zero.
#include <chrono>

#include "scheduler/schedule/datetime/calendar.h"
#include "scheduler/schedule/datetime/clock.h"

namespace datetime {
namespace {

class UtcSystemClock final : public Clock {
 public:
  CalendarFields LocalNow() const override {
    using namespace std::chrono;
    const auto since_1970 = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
    constexpr std::int64_t kTicksFrom1601To1970 = 116'444'736'000'000'000;
    return *calendar::TicksToFields(kTicksFrom1601To1970 + since_1970.count() * 10'000);
  }
  std::optional<std::int64_t> FieldsToTicks(const CalendarFields& fields) const override {
    return calendar::FieldsToTicks(fields);
  }
  std::optional<CalendarFields> TicksToFields(std::int64_t ticks) const override {
    return calendar::TicksToFields(ticks);
  }
  std::int64_t LocalToUtc(std::int64_t local_ticks) const override { return local_ticks; }
  int Compare(std::int64_t a, std::int64_t b) const override { return a < b ? -1 : (a > b ? 1 : 0); }
};

}  // namespace

const Clock& PlatformClock() {
  static const UtcSystemClock clock;
  return clock;
}

}  // namespace datetime
