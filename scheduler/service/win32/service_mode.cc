#include "scheduler/service/win32/program_modes.h"

namespace service {

// The service main function does not exist yet: without a switch the
// program ends at once.
void RunServiceMode() {}

}  // namespace service
