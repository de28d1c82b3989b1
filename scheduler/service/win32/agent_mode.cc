#include "scheduler/service/win32/program_modes.h"

namespace service {

// The agent does not exist yet: "/user" ends at once.
void RunAgentMode() {}

}  // namespace service
