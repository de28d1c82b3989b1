#include "scheduler/service/win32/program_modes.h"

#include "scheduler/service/win32/service_main.h"

namespace service {

void RunServiceMode() { RunServiceDispatcher(); }

}  // namespace service
