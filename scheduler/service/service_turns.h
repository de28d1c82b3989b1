// What the service does at its start, on each control and when it stops.
// The Windows layer (win32/service_main.cc) supplies the platform through
// ServicePlatform; everything decided here is the same on every platform.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scheduler/schedule/schedule.h"
#include "scheduler/schedule/schedule_keeper.h"

namespace service {

// Values of the service control manager, spelled out so that this file needs
// no Windows header.
enum class ServiceState : std::uint32_t {
  kStopped = 1,
  kStopPending = 3,
  kRunning = 4,
};
inline constexpr std::uint32_t kControlStop = 1;
inline constexpr std::uint32_t kControlInterrogate = 4;
inline constexpr std::uint32_t kControlShutdown = 5;
inline constexpr std::uint32_t kControlPowerEvent = 13;
inline constexpr std::uint32_t kControlSessionChange = 14;
inline constexpr std::uint32_t kSessionLogon = 5;             // WTS_SESSION_LOGON
inline constexpr std::uint32_t kPowerResumeAutomatic = 0x12;  // PBT_APMRESUMEAUTOMATIC
// Stop, shutdown, power-event and session-change controls.
inline constexpr std::uint32_t kControlsAccepted = 0xC5;
// What WTSGetActiveConsoleSessionId answers when no session is attached.
inline constexpr std::uint32_t kNoConsoleSession = 0xFFFFFFFF;

// How ServiceMain's wait ended: the first three end the service, the others
// are the schedule's wake-ups.
enum class WaitOutcome {
  kStopEvent,
  kUpdateEvent,
  kFailed,
  kScheduleTimer,    // the service's own schedule timer signalled
  kSettingsChanged,  // the settings key or the policy key changed
  kResumed,          // the machine resumed from sleep or hibernation
  kLogonScan,        // a logon at the console asks for its scan
};

class ServicePlatform {
 public:
  virtual ~ServicePlatform() = default;

  // Registers the control handler; false when the service control manager
  // refuses, in which case nothing else may be done.
  virtual bool RegisterControlHandler() = 0;
  // Creates (or opens) the update event; false when there is none to wait
  // on: it could not be created, or an existing one was not trusted.
  virtual bool CreateUpdateEvent() = 0;
  // Creates the stop event; a failure leaves it missing, and the wait then
  // fails.
  virtual void CreateStopEvent() = 0;
  // Reports `state` with no checkpoint and no wait hint.
  virtual void ReportStatus(ServiceState state) = 0;
  // Reports STOP_PENDING with the next checkpoint of the process (one more
  // than any report before) and `wait_hint`: the time within which the
  // service will report again or have stopped.
  virtual void ReportStopProgress(std::chrono::milliseconds wait_hint) = 0;
  // True once STOP_PENDING has been reported, by either thread.
  virtual bool IsStopping() = 0;
  virtual std::uint32_t ActiveConsoleSession() = 0;
  virtual bool IsStartupSchedule() = 0;
  virtual void LaunchAgentInSession(std::uint32_t session) = 0;
  // Starts "<own path>" /user in the session under its user's token, when
  // that token can be had. In start-up mode that process starts the scan
  // from inside the user's session and ends.
  virtual void LaunchStartupScanInSession(std::uint32_t session) = 0;
  // Hands RunLogonWork for `session` to the one thread that does such work,
  // in order, and returns at once.
  virtual void QueueLogonWork(std::uint32_t session) = 0;
  // Waits up to `limit` for queued logon work to finish; false when some is
  // still running.
  virtual bool WaitForLogonWork(std::chrono::milliseconds limit) = 0;
  // Waits, without limit, for the stop event, the update event (when
  // `with_update_event`) and the schedule's wake-ups.
  virtual WaitOutcome WaitForStopOrUpdate(bool with_update_event) = 0;
  // "SchedulerRunAs", read now.
  virtual schedule::RunAs ReadRunAs() = 0;
  // The service's own schedule: its timer, settings and scan start. The
  // objects behind it (timer, resume and logon-scan events, the watch of the
  // settings keys) are made by CreateStopEvent's caller before the wait.
  virtual schedule::KeeperPlatform& Schedule() = 0;
  virtual void CreateScheduleObjects() = 0;
  // Watches the settings key and the policy key again: a change signals once.
  virtual void WatchSettings() = 0;
  // From the logon work: asks ServiceMain's wait for the logon's scan.
  virtual void RequestLogonScan() = 0;
  // From the control handler: the machine has resumed.
  virtual void SignalResume() = 0;
  virtual void SetStopEvent() = 0;
  // Closes the stop event, then the update event.
  virtual void CloseEvents() = 0;
};

// True when one of the start arguments is "endsession", in any letter case.
// Traces each argument.
bool IsEndSessionStart(const std::vector<std::u16string>& arguments);

// How long a stopping service waits for logon work in flight: an agent's
// hand-off and a little more.
inline constexpr std::chrono::milliseconds kLogonWorkStopLimit{12000};
// While it waits, the stopping service reports its progress this often, so
// that the service control manager sees it move on.
inline constexpr std::chrono::milliseconds kStopProgressPeriod{1000};
// Added to every wait hint of a stop, for the steps after the wait.
inline constexpr std::chrono::milliseconds kStopHintMargin{3000};

// The body of ServiceMain, from handler registration to SERVICE_STOPPED.
void RunServiceMain(const std::vector<std::u16string>& arguments, ServicePlatform& platform);

// The body of the control handler. `logon_session` carries the session id of
// a session-change notification, and is empty when the event data is null.
// It returns at once: a logon at the console is queued as logon work, since
// the service control manager holds every other service's controls until
// the handler returns. Once the service is stopping it reports nothing and
// starts nothing: ServiceMain reports the stop's progress, and a RUNNING in
// between would tell the service control manager the stop was over.
void HandleServiceControl(std::uint32_t control, std::uint32_t event_type, std::optional<std::uint32_t> logon_session,
                          ServicePlatform& platform);

// What a logon at the console brings. "SchedulerRunAs" system: no agent, and
// in start-up mode the scan, which ServiceMain starts itself. Otherwise, in
// start-up mode the program in /user mode, which starts the scan in the
// session (the application's presence can be tested only in the session's
// own namespace); else the agent in that session.
void RunLogonWork(std::uint32_t session, ServicePlatform& platform);

}  // namespace service
