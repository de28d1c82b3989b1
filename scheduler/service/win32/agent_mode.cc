#include "scheduler/service/win32/program_modes.h"

#include "scheduler/agent/win32/event_window.h"
#include "scheduler/agent/win32/fault_filter.h"
#include "scheduler/service/win32/administrators.h"

namespace service {

// "/user": only an agent with the Administrators group enabled may stop and
// start the service, so any other ends here, having created nothing. A fault
// from here on ends the agent without a window, and brings the next one after
// a minute's run.
void RunAgentMode() {
  agent::InstallFaultFilter();
  if (!IsAdministratorsMember()) return;
  if (agent::SchedulerCreateWindow()) agent::AgentLoop();
  agent::EndFaultRecovery();
  agent::CloseSessionMutex();
}

}  // namespace service
