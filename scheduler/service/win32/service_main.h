// The Windows service "VeltraneScheduler": its main function and control
// handler, as the service control dispatcher calls them.
#pragma once

#include <windows.h>

namespace service {

// Runs on a thread of the dispatcher until the service stops: starts the
// agent at the console (unless the schedule is "startup" or the start came
// with "endsession"), then waits for the stop event or the update event.
void WINAPI ServiceMain(DWORD argc, LPWSTR* argv);

// Runs on the dispatcher's thread and returns at once. Stop and shutdown
// report STOP_PENDING and set the stop event; a logon at the console queues
// the start of the agent there, or in start-up mode of the scan under the
// user's token, on the service's logon worker. NO_ERROR for every control.
DWORD WINAPI ServiceCtrlHandler(DWORD control, DWORD event_type, LPVOID event_data, LPVOID context);

// Waits up to `limit_ms` for the logon work queued by the handler to finish;
// false when some is still running.
bool WaitForLogonWork(DWORD limit_ms);

// Service mode: hands the main thread to the service control dispatcher until
// the service has stopped. Fails at once outside the service control manager.
void RunServiceDispatcher();

}  // namespace service
