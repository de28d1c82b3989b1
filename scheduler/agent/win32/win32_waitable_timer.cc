#include "scheduler/agent/win32/win32_waitable_timer.h"

#include "common/application/win32/registry_settings_source.h"

namespace agent {

bool Win32WaitableTimer::ArmAt(std::int64_t utc_ticks) {
  if (utc_ticks <= 0) return false;  // <= 0 would be read as relative
  LARGE_INTEGER due;
  due.QuadPart = utc_ticks;
  return ::SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE) == TRUE;
}

bool ArmScheduleTimer(HANDLE timer) {
  Win32WaitableTimer waitable(timer);
  return ArmScheduleTimer(application::SchedulerSettings(), waitable);
}

bool IsStartupSchedule() { return IsStartupSchedule(application::SchedulerSettings()); }

datetime::DateTime ReadLastScanTime() { return ReadLastScanTime(application::SchedulerSettings()); }

}  // namespace agent
