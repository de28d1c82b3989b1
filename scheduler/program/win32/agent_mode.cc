#include "scheduler/program/win32/program_modes.h"

#include "scheduler/agent/win32/event_window.h"
#include "scheduler/agent/win32/fault_filter.h"
#include "scheduler/program/program_mode.h"
#include "scheduler/schedule/win32/scan_launcher.h"
#include "scheduler/schedule/win32/waitable_timer.h"
#include "scheduler/shared/win32/administrators.h"

namespace program {
namespace {

class Win32UserMode final : public UserModePlatform {
 public:
  bool IsSystemRunAs() override { return schedule::ReadRunAs() == schedule::RunAs::kSystem; }
  bool IsStartupSchedule() override { return schedule::IsStartupSchedule(); }
  void LaunchScheduledScan() override { schedule::LaunchScheduledScan(events::ScanOccasion::kAtLogon); }
  bool IsAdministratorsMember() override { return shared::IsAdministratorsMember(); }
  void ReportNoScansForStandardUser() override { events::NoScansForStandardUser(schedule::OwnAccountName()); }
  bool CreateAgentWindow() override { return agent::SchedulerCreateWindow(); }
  void RunAgentLoop() override { agent::AgentLoop(); }
  void CloseSessionMutex() override { agent::CloseSessionMutex(); }
};

}  // namespace

// A fault from here on ends the process without a window; an agent that had
// run a minute brings the service, and with it the next agent, back.
void RunAgentMode() {
  agent::InstallFaultFilter();
  Win32UserMode platform;
  RunUserMode(platform);
  agent::EndFaultRecovery();
}

}  // namespace program
