// The scan launcher on Windows: the registry, the application's presence
// event and process creation behind the decisions of scan_launcher.h.
#pragma once

#include <windows.h>

#include "scheduler/events/scheduler_events.h"

namespace agent {

// Looks the application up again and returns its executable path (without
// quotes) in a process-wide buffer of 512 wide characters that each call
// rewrites, or null when there is none.
const wchar_t* FindApplicationPath();

// Starts the application's boot scan unless it runs already; see
// agent::LaunchScheduledScan in scan_launcher.h. The process is created in
// the caller's session, as the caller, with its environment. `occasion`
// names the scan in its event.
bool LaunchScheduledScan(events::ScanOccasion occasion = events::ScanOccasion::kScheduled);

}  // namespace agent
