#include "scheduler/program/win32/program_modes.h"

#include <windows.h>

#include "scheduler/service/win32/service_main.h"

namespace program {

void RunServiceMode() {
  service::RunServiceDispatcher();
  // A logon's launch that outlived the stop still runs on the logon worker,
  // and uses objects that the runtime destroys once the entry returns. End
  // here, without running any exit code: the service has reported that it
  // stopped, and the process must not go on.
  if (!service::WaitForLogonWork(0)) TerminateProcess(GetCurrentProcess(), 0);
}

}  // namespace program
