#include "scheduler/schedule/win32/waitable_timer.h"

#include <random>

#include "common/application/win32/registry_settings_source.h"

namespace schedule {
namespace {

// Spreads the machines of a fleet: seeded from the performance counter and
// the process id, which differ from machine to machine and start to start.
class SeededRandom final : public RandomSource {
 public:
  SeededRandom() {
    LARGE_INTEGER counter = {};
    ::QueryPerformanceCounter(&counter);
    const auto ticks = static_cast<std::uint64_t>(counter.QuadPart);
    engine_.seed(static_cast<std::uint32_t>(ticks ^ (ticks >> 32)) ^ ::GetCurrentProcessId());
  }
  std::uint32_t Below(std::uint32_t bound) override {
    return std::uniform_int_distribution<std::uint32_t>(0, bound - 1)(engine_);
  }

 private:
  std::mt19937 engine_;
};

}  // namespace

bool Win32WaitableTimer::ArmAt(std::int64_t utc_ticks) {
  if (utc_ticks <= 0) return false;  // <= 0 would be read as relative
  LARGE_INTEGER due;
  due.QuadPart = utc_ticks;
  return ::SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE) == TRUE;
}

RandomSource& ProcessRandom() {
  static SeededRandom random;
  return random;
}

bool ArmScheduleTimer(HANDLE timer, std::optional<ArmedRun>* armed) {
  Win32WaitableTimer waitable(timer);
  return ArmScheduleTimer(application::SchedulerSettings(), waitable, &ProcessRandom(), armed);
}

RunAs ReadRunAs() { return ReadRunAs(application::SchedulerSettings()); }

bool IsStartupSchedule() { return IsStartupSchedule(application::SchedulerSettings()); }

datetime::DateTime ReadLastScanTime() { return ReadLastScanTime(application::SchedulerSettings()); }

}  // namespace schedule
