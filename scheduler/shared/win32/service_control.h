// Creating, deleting, starting and stopping the scheduler's own service
// entry. Every operation opens the service control manager with full access,
// so it needs administrator rights; each reports through its result only and
// closes every handle it opened before it returns.
#pragma once

namespace shared {

// Creates the entry with the program's own path, its description and its
// recovery actions. True when it was created or already existed; an existing
// entry is left exactly as it is, recovery actions included. The service is
// not started.
bool InstallService();

// Asks the service to stop (without waiting) and marks the entry for
// deletion. True when it was marked or no entry exists.
bool UninstallService();

// Starts the service; with `end_of_session` it passes the start argument
// "endsession". True when it was started or already ran; false when there is
// no entry.
bool StartSchedulerService(bool end_of_session);

// True when the service is known to be stopped: not starting, running or
// stopping, and its entry readable.
bool IsSchedulerServiceStopped();

// Asks the service to stop, without waiting. True when the stop was accepted,
// the service did not run, or no entry exists.
bool StopSchedulerService();

}  // namespace shared
