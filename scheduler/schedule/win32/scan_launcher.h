// The scan launcher on Windows: the registry, the application's presence
// event and process creation behind the decisions of scan_launcher.h.
#pragma once

#include <windows.h>

#include <string>

#include "scheduler/events/scheduler_events.h"

namespace schedule {

// Looks the application up again and returns its executable path (without
// quotes) in a process-wide buffer of 512 wide characters that each call
// rewrites, or null when there is none.
const wchar_t* FindApplicationPath();

// Starts the application's boot scan unless it runs already; see
// schedule::LaunchScheduledScan in scan_launcher.h. The process is created in
// the caller's session, as the caller, with its environment. `occasion`
// names the scan in its event.
bool LaunchScheduledScan(events::ScanOccasion occasion = events::ScanOccasion::kScheduled);

// The service's scan ("SchedulerRunAs" system): as LaunchScheduledScan, and
// also skipped when a process whose image is the scanner's executable runs
// in any session. The process is created under the service's own account in
// its session (0), with no window, no inherited handle, the system's error
// mode and the service's environment.
bool LaunchServiceScan(events::ScanOccasion occasion);

// "DOMAIN\name" of this process's account ("NT AUTHORITY\SYSTEM" for the
// service); "?" when it cannot be looked up.
std::u16string OwnAccountName();

}  // namespace schedule
