// Which mode scheduler.exe runs in, chosen from its arguments.
#pragma once

#include <span>
#include <string>

namespace program {

enum class ProgramMode {
  kInstall,    // create the service entry, report success, end
  kUninstall,  // stop and delete the service entry, report success, end
  kAgent,      // the per-session agent
  kService,    // the Windows service, under the service control manager
  kBusyTest,   // the full-screen test at the console, for the service
};

// Walks the arguments (the command-line tail split up, no program name) in
// order, comparing each whole argument with the switches without regard to
// case: the first "/install" or "/uninstall" decides at once and later
// arguments are not looked at; otherwise "/busy" anywhere asks for the busy test, and "/user" for the
// agent; otherwise, and for an empty list, the service. Anything else is
// skipped.
ProgramMode SelectProgramMode(std::span<const std::u16string> arguments);

// What "/user" needs from the platform.
class UserModePlatform {
 public:
  virtual ~UserModePlatform() = default;
  // True when "SchedulerRunAs" is "system": the service keeps the schedule.
  virtual bool IsSystemRunAs() = 0;
  // True when the schedule's "SchedulerWhen" is "startup".
  virtual bool IsStartupSchedule() = 0;
  // Tests whether the application runs and, unless it does, starts its scan
  // in this process's session, as a scheduled scan that falls due does.
  virtual void LaunchScheduledScan() = 0;
  // True when this process's token has the Administrators group enabled.
  virtual bool IsAdministratorsMember() = 0;
  // Records that no scheduled scans run in this session, for its user.
  virtual void ReportNoScansForStandardUser() = 0;
  // The agent's start-up: its session mutex and event window (whose creation
  // stops the service). True when the window exists.
  virtual bool CreateAgentWindow() = 0;
  // The agent's loop, until the agent is to end.
  virtual void RunAgentLoop() = 0;
  virtual void CloseSessionMutex() = 0;
};

// "/user". With "SchedulerRunAs" system the service keeps the schedule, and
// this process ends having done nothing. In start-up mode the service starts this process in the session
// of the user who logged on, for the one scan of that logon: the scan starts
// and the process ends, with no window, no session mutex and the service
// left running. That comes before the administrator test, so a standard
// user gets the scan under their own token. Otherwise this is the agent,
// which only a token with Administrators enabled may be, since it stops and
// starts the service; any other ends here, having created nothing but the
// event that says no scheduled scans run in its session.
void RunUserMode(UserModePlatform& platform);

}  // namespace program
