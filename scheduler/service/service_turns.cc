#include "scheduler/service/service_turns.h"

#include <algorithm>
#include <string_view>

#include "common/text/ascii_case.h"
#include "common/trace/trace.h"
#include "scheduler/events/scheduler_events.h"
#include "scheduler/shared/service_entry.h"

namespace service {
namespace {

using text::EqualsIgnoringAsciiCase;

// Waits up to kLogonWorkStopLimit for the logon work, reporting STOP_PENDING
// at the start and after every period, each time with a wait hint that
// covers what is left of the wait. False when the limit was reached.
bool WaitOutLogonWork(ServicePlatform& platform) {
  std::chrono::milliseconds left = kLogonWorkStopLimit;
  platform.ReportStopProgress(left + kStopHintMargin);
  for (;;) {
    const std::chrono::milliseconds slice = std::min(left, kStopProgressPeriod);
    if (platform.WaitForLogonWork(slice)) return true;
    left -= slice;
    if (left <= std::chrono::milliseconds::zero()) return false;
    platform.ReportStopProgress(left + kStopHintMargin);
  }
}

void LaunchConsoleAgent(ServicePlatform& platform) {
  if (platform.IsStartupSchedule()) return;
  const std::uint32_t console = platform.ActiveConsoleSession();
  if (console != kNoConsoleSession) platform.LaunchAgentInSession(console);
}

// One wake-up of the wait that does not end the service.
void ServeScheduleWakeUp(WaitOutcome outcome, schedule::ScheduleKeeper& keeper, ServicePlatform& platform) {
  switch (outcome) {
    case WaitOutcome::kScheduleTimer:
      keeper.OnTimer();
      return;
    case WaitOutcome::kResumed:
      keeper.OnResume();
      return;
    case WaitOutcome::kLogonScan:
      // Asked for in "system" mode; the mode or the schedule may have
      // changed since.
      if (keeper.keeping() && platform.IsStartupSchedule()) {
        platform.Schedule().LaunchScan(events::ScanOccasion::kAtLogon);
      }
      return;
    case WaitOutcome::kSettingsChanged: {
      platform.WatchSettings();
      const schedule::RunAs run_as = platform.ReadRunAs();
      if (run_as == schedule::RunAs::kSystem && !keeper.keeping()) {
        keeper.Start();
      } else if (run_as == schedule::RunAs::kUser && keeper.keeping()) {
        // Back to the agents: the console user's agent takes the schedule
        // over (and stops this service), as at a service start.
        keeper.Stop();
        LaunchConsoleAgent(platform);
      } else {
        keeper.OnSettingsChanged();
      }
      return;
    }
    default:
      return;
  }
}

}  // namespace

bool IsEndSessionStart(const std::vector<std::u16string>& arguments) {
  bool end_session = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    trace::Trace("Service Arg[%d] = %ws\r\n", static_cast<int>(i), arguments[i].c_str());
    if (EqualsIgnoringAsciiCase(arguments[i], shared::entry::kEndSessionArgument)) end_session = true;
  }
  return end_session;
}

void RunServiceMain(const std::vector<std::u16string>& arguments, ServicePlatform& platform) {
  if (!platform.RegisterControlHandler()) return;
  const bool end_session = IsEndSessionStart(arguments);

  // Without an update event the service still serves; only an update can
  // no longer stop it (the service control manager still can).
  const bool has_update_event = platform.CreateUpdateEvent();
  platform.CreateStopEvent();
  platform.CreateScheduleObjects();
  platform.ReportStatus(ServiceState::kRunning);
  events::ServiceStarted(end_session);

  schedule::ScheduleKeeper keeper(platform.Schedule());
  if (platform.ReadRunAs() == schedule::RunAs::kSystem) {
    keeper.Start();
  } else if (!end_session) {
    // In start-up mode the scan belongs to the next logon, and after a
    // log-off nobody is there to serve; otherwise bring an agent to the console.
    LaunchConsoleAgent(platform);
  }

  WaitOutcome outcome;
  for (;;) {
    outcome = platform.WaitForStopOrUpdate(has_update_event);
    if (outcome == WaitOutcome::kStopEvent || outcome == WaitOutcome::kUpdateEvent || outcome == WaitOutcome::kFailed) {
      break;
    }
    ServeScheduleWakeUp(outcome, keeper, platform);
  }
  const char* reason = outcome == WaitOutcome::kStopEvent ? "Control_Stop" : "Updating";
  trace::Trace("ServiceMain: Stopping [%s]\r\n", reason);
  events::ServiceStopping(outcome == WaitOutcome::kStopEvent     ? events::StopReason::kControl
                          : outcome == WaitOutcome::kUpdateEvent ? events::StopReason::kUpdateEvent
                                                                 : events::StopReason::kWaitFailed);

  // A logon's launch may be creating a process in a user's session: let it
  // end, within bounds, before the service reports that it has stopped.
  if (!WaitOutLogonWork(platform)) trace::Trace("ServiceMain: logon work still running\r\n");
  platform.CloseEvents();
  platform.ReportStatus(ServiceState::kStopped);
}

void HandleServiceControl(std::uint32_t control, std::uint32_t event_type, std::optional<std::uint32_t> logon_session,
                          ServicePlatform& platform) {
  if (platform.IsStopping()) return;
  if (control == kControlStop || control == kControlShutdown) {
    // ServiceMain may wait for logon work before it stops: the hint covers that.
    platform.ReportStopProgress(kLogonWorkStopLimit + kStopHintMargin);
    platform.SetStopEvent();
    return;
  }
  if (control == kControlSessionChange && event_type == kSessionLogon && logon_session &&
      *logon_session == platform.ActiveConsoleSession()) {
    platform.QueueLogonWork(*logon_session);
  }
  if (control == kControlPowerEvent && event_type == kPowerResumeAutomatic) platform.SignalResume();
  platform.ReportStatus(ServiceState::kRunning);
}

void RunLogonWork(std::uint32_t session, ServicePlatform& platform) {
  if (platform.ReadRunAs() == schedule::RunAs::kSystem) {
    if (platform.IsStartupSchedule()) platform.RequestLogonScan();
    return;
  }
  if (platform.IsStartupSchedule()) {
    platform.LaunchStartupScanInSession(session);
  } else {
    platform.LaunchAgentInSession(session);
  }
}

}  // namespace service
