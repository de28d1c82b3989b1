// Durations on the 100-nanosecond tick scale of the Windows FILETIME.
#pragma once

#include <cstdint>
#include <limits>

namespace datetime {

inline constexpr std::int64_t kTicksPerSecond = 10'000'000;
inline constexpr std::int64_t kTicksPerMinute = 60 * kTicksPerSecond;
inline constexpr std::int64_t kTicksPerHour = 60 * kTicksPerMinute;
inline constexpr std::int64_t kTicksPerDay = 24 * kTicksPerHour;

// Tick arithmetic never overflows: a result beyond the signed 64-bit range
// sticks at the nearest limit. Registry texts can ask for ten thousand
// centuries; they get a value far outside the calendar, which the schedule
// refuses, instead of undefined behaviour.
constexpr std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

constexpr std::int64_t SaturatingSubtract(std::int64_t a, std::int64_t b) {
  std::int64_t difference = 0;
  if (!__builtin_sub_overflow(a, b, &difference)) return difference;
  return b < 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

// A double truncated toward zero to a tick count. A value that does not fit
// is never converted: it saturates, and NaN counts as 0.
constexpr std::int64_t TruncateToTicks(double value) {
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (value != value) return 0;
  if (value >= kTwoTo63) return std::numeric_limits<std::int64_t>::max();
  if (value < -kTwoTo63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

class TimeSpan final {
 public:
  constexpr TimeSpan() = default;
  constexpr explicit TimeSpan(std::int64_t ticks) : ticks_(ticks) {}

  // Each factory multiplies in double precision and truncates toward zero.
  static constexpr TimeSpan FromDays(double days) { return TimeSpan(TruncateToTicks(days * 864'000'000'000.0)); }
  static constexpr TimeSpan FromHours(double hours) { return TimeSpan(TruncateToTicks(hours * 36'000'000'000.0)); }
  static constexpr TimeSpan FromMinutes(double minutes) { return TimeSpan(TruncateToTicks(minutes * 600'000'000.0)); }

  constexpr std::int64_t ticks() const { return ticks_; }

  friend constexpr TimeSpan operator+(TimeSpan a, TimeSpan b) { return TimeSpan(SaturatingAdd(a.ticks_, b.ticks_)); }
  friend constexpr bool operator==(TimeSpan a, TimeSpan b) = default;

 private:
  std::int64_t ticks_ = 0;
};

}  // namespace datetime
