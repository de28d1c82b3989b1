// The schedule on the real system: a kernel waitable timer, and the settings
// read from the registry.
#pragma once

#include <windows.h>

#include "scheduler/schedule/datetime/date_time.h"
#include "scheduler/schedule/schedule.h"

namespace schedule {

// A waitable timer owned by the caller, armed with SetWaitableTimer.
class Win32WaitableTimer final : public WaitableTimer {
 public:
  explicit Win32WaitableTimer(HANDLE timer) : timer_(timer) {}
  // A positive due time is an absolute UTC instant; no period, no completion
  // routine, no resume.
  bool ArmAt(std::int64_t utc_ticks) override;

 private:
  HANDLE timer_;
};

// The schedule functions over HKEY_LOCAL_MACHINE\SOFTWARE\Veltrane.
bool ArmScheduleTimer(HANDLE timer, std::optional<ArmedRun>* armed = nullptr);
bool IsStartupSchedule();
datetime::DateTime ReadLastScanTime();
RunAs ReadRunAs();

// The random source that spreads scheduled runs, seeded per process.
RandomSource& ProcessRandom();

}  // namespace schedule
