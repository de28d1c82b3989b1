// Test tool: sets the global update event, as the application's updater
// does, so that the service and every agent end. With /reset it resets the
// event instead. Exit code 0 on success, 1 when the event does not exist, 2
// when it could not be changed.
#include <windows.h>

#include <cwchar>

#include "common/win32/scoped_handle.h"

int wmain(int argc, wchar_t** argv) {
  const bool reset = argc > 1 && _wcsicmp(argv[1], L"/reset") == 0;
  win32::ScopedHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, L"Global\\Veltrane Scheduler Update"));
  if (!event) return 1;
  const BOOL done = reset ? ResetEvent(event.get()) : SetEvent(event.get());
  return done ? 0 : 2;
}
