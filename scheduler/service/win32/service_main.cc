#include "scheduler/service/win32/service_main.h"

#include <wtsapi32.h>

#include <atomic>
#include <string>
#include <vector>

#include "common/application/win32/registry_settings_source.h"
#include "common/threads/threads.h"
#include "common/trace/trace.h"
#include "common/win32/module_path.h"
#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "common/win32/wide.h"
#include "scheduler/schedule/win32/scan_launcher.h"
#include "scheduler/schedule/win32/waitable_timer.h"
#include "scheduler/service/serial_worker.h"
#include "scheduler/service/service_turns.h"
#include "scheduler/service/win32/agent_launch.h"
#include "scheduler/shared/service_entry.h"
#include "scheduler/shared/win32/settings_watch.h"
#include "scheduler/shared/win32/update_event.h"
#include "scheduler/shared/win32/user_process.h"

namespace service {
namespace {

// Shared by ServiceMain and the control handler. ServiceMain writes both
// before its first report, and the service accepts no control before that
// report, so the handler never sees them unset.
SERVICE_STATUS_HANDLE g_status_handle = nullptr;
std::atomic<HANDLE> g_stop_event{nullptr};
// Serialises the status reports of both threads, and numbers those of a stop.
threads::Mutex g_report_lock;
DWORD g_checkpoint = 0;
std::atomic<bool> g_stopping{false};
// Set by the control handler when the machine resumes, and by the logon
// worker for a logon's scan; ServiceMain waits on both.
std::atomic<HANDLE> g_resume_event{nullptr};
std::atomic<HANDLE> g_logon_scan_event{nullptr};

// The one thread that does the work of console logons, so that the control
// handler returns at once. It is never destroyed: a launch still running
// when the service has stopped ends with the process (RunServiceMode).
SerialWorker& LogonWorker() {
  static SerialWorker* const worker = new SerialWorker;
  return *worker;
}

// How long the busy test may take, and its answer for a busy user
// (QUNS_BUSY).
constexpr DWORD kBusyTestLimitMs = 5000;
constexpr DWORD kBusyExitCode = 2;

// The service's own schedule: its waitable timer, the settings as an
// administrator sees them, and the scan started as the service's account.
class Win32KeeperPlatform final : public schedule::KeeperPlatform {
 public:
  void CreateTimer() {
    timer_.reset(CreateWaitableTimerW(nullptr, FALSE, nullptr));
    waitable_ = schedule::Win32WaitableTimer(timer_.get());
  }
  HANDLE timer() const { return timer_.get(); }
  void CloseTimer() { timer_.reset(); }

  const application::SettingsSource& Settings() override { return application::SchedulerSettings(); }
  schedule::WaitableTimer& Timer() override { return waitable_; }
  void CancelTimer() override {
    if (timer_) CancelWaitableTimer(timer_.get());
  }
  schedule::RandomSource* Random() override { return &schedule::ProcessRandom(); }
  void LaunchScan(events::ScanOccasion occasion) override { schedule::LaunchServiceScan(occasion); }
  std::u16string Account() override {
    if (account_.empty()) account_ = schedule::OwnAccountName();
    return account_;
  }

  // The full-screen test must run where the console user's desktop is:
  // "<own path>" /busy, started there under that user's token, answers
  // through its exit code (2: busy). Nobody at the console, or no answer in
  // time: not busy.
  bool ConsoleUserBusy() override {
    const DWORD console = WTSGetActiveConsoleSessionId();
    if (console == kNoConsoleSession) return false;
    win32::ScopedHandle token(GetSessionUserToken(console));
    if (!token) return false;
    wchar_t own_path[MAX_PATH] = {};
    DWORD length = 0;
    if (win32::ModuleFileName(nullptr, own_path, length) != ERROR_SUCCESS) return false;
    const std::u16string command_line = u"\"" + win32::FromWide(own_path) + u"\" /busy";
    PROCESS_INFORMATION created = {};
    if (!shared::CreateUserProcess(token.get(), command_line, CREATE_NO_WINDOW | CREATE_DEFAULT_ERROR_MODE, created)) {
      return false;
    }
    win32::ScopedHandle thread(created.hThread);
    win32::ScopedHandle process(created.hProcess);
    DWORD exit_code = 0;
    if (WaitForSingleObject(process.get(), kBusyTestLimitMs) != WAIT_OBJECT_0) {
      TerminateProcess(process.get(), 0);
      return false;
    }
    return GetExitCodeProcess(process.get(), &exit_code) && exit_code == kBusyExitCode;
  }

 private:
  win32::ScopedHandle timer_;
  schedule::Win32WaitableTimer waitable_{nullptr};
  std::u16string account_;
};

class Win32ServicePlatform final : public ServicePlatform {
 public:
  bool RegisterControlHandler() override {
    const std::u16string name(shared::entry::kName);
    g_status_handle = RegisterServiceCtrlHandlerExW(win32::Wide(name), &ServiceCtrlHandler, nullptr);
    return g_status_handle != nullptr;
  }

  bool CreateUpdateEvent() override {
    update_event_ = shared::CreateUpdateEvent();
    return static_cast<bool>(update_event_);
  }

  void CreateStopEvent() override {
    stop_event_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_stop_event = stop_event_.get();
  }

  void ReportStatus(ServiceState state) override { Report(state, std::chrono::milliseconds::zero()); }

  void ReportStopProgress(std::chrono::milliseconds wait_hint) override {
    Report(ServiceState::kStopPending, wait_hint);
  }

  bool IsStopping() override { return g_stopping.load(); }

  std::uint32_t ActiveConsoleSession() override { return WTSGetActiveConsoleSessionId(); }

  bool IsStartupSchedule() override { return schedule::IsStartupSchedule(); }

  void LaunchAgentInSession(std::uint32_t session) override { service::LaunchAgentInSession(session); }

  void LaunchStartupScanInSession(std::uint32_t session) override {
    // The scan itself is reported by the process started here; only a
    // failure to start it is left to the trace.
    events::AgentStart outcome;
    StartUserModeInSession(session, outcome);
  }

  void QueueLogonWork(std::uint32_t session) override {
    const bool queued = LogonWorker().Post([session] {
      Win32ServicePlatform platform;
      RunLogonWork(session, platform);
    });
    if (!queued) trace::Trace("No thread for the logon work of session %u\r\n", static_cast<unsigned>(session));
  }

  bool WaitForLogonWork(std::chrono::milliseconds limit) override { return LogonWorker().WaitUntilIdle(limit); }

  WaitOutcome WaitForStopOrUpdate(bool with_update_event) override {
    // A missing stop event makes the wait fail at once: the service then
    // stops. The schedule's objects are waited on only where they exist.
    HANDLE handles[7] = {stop_event_.get()};
    WaitOutcome outcomes[7] = {WaitOutcome::kStopEvent};
    int watch_of[7] = {-1, -1, -1, -1, -1, -1, -1};
    DWORD count = 1;
    const auto add = [&](HANDLE handle, WaitOutcome outcome, int watch = -1) {
      if (handle == nullptr) return;
      handles[count] = handle;
      outcomes[count] = outcome;
      watch_of[count] = watch;
      ++count;
    };
    if (with_update_event) add(update_event_.get(), WaitOutcome::kUpdateEvent);
    add(keeper_.timer(), WaitOutcome::kScheduleTimer);
    add(resume_event_.get(), WaitOutcome::kResumed);
    add(logon_scan_event_.get(), WaitOutcome::kLogonScan);
    if (watching_[0]) add(watches_[0].event(), WaitOutcome::kSettingsChanged, 0);
    if (watching_[1]) add(watches_[1].event(), WaitOutcome::kSettingsChanged, 1);
    const DWORD result = WaitForMultipleObjects(count, handles, FALSE, INFINITE);
    if (result >= WAIT_OBJECT_0 + count) return WaitOutcome::kFailed;
    const DWORD index = result - WAIT_OBJECT_0;
    if (watch_of[index] >= 0) fired_[watch_of[index]] = true;
    return outcomes[index];
  }

  schedule::RunAs ReadRunAs() override { return schedule::ReadRunAs(); }

  schedule::KeeperPlatform& Schedule() override { return keeper_; }

  void CreateScheduleObjects() override {
    keeper_.CreateTimer();
    resume_event_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    g_resume_event = resume_event_.get();
    logon_scan_event_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    g_logon_scan_event = logon_scan_event_.get();
    for (int i = 0; i < 2; ++i) watching_[i] = watches_[i].Create();
  }

  void WatchSettings() override {
    for (int i = 0; i < 2; ++i) {
      if (!fired_[i]) continue;
      fired_[i] = false;
      // A key that can no longer be watched leaves the wait, which would
      // otherwise find it signalled again and again.
      watching_[i] = watches_[i].Register();
    }
  }

  void RequestLogonScan() override {
    const HANDLE event = g_logon_scan_event.load();
    if (event != nullptr) SetEvent(event);
  }

  void SignalResume() override {
    const HANDLE event = g_resume_event.load();
    if (event != nullptr) SetEvent(event);
  }

  void SetStopEvent() override {
    const HANDLE stop_event = g_stop_event.load();
    if (stop_event != nullptr) SetEvent(stop_event);
  }

  void CloseEvents() override {
    g_stop_event = nullptr;
    g_resume_event = nullptr;
    g_logon_scan_event = nullptr;
    stop_event_.reset();
    update_event_.reset();
    keeper_.CloseTimer();
    resume_event_.reset();
    logon_scan_event_.reset();
    for (shared::KeyWatch& watch : watches_) watch.Close();
  }

 private:
  // Both threads report; the lock keeps the checkpoints rising in the order
  // the service control manager receives them. A pending state carries the
  // next checkpoint, any other state none.
  static void Report(ServiceState state, std::chrono::milliseconds wait_hint) {
    threads::Lock guard(g_report_lock);
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = static_cast<DWORD>(state);
    status.dwControlsAccepted = kControlsAccepted;
    status.dwWin32ExitCode = NO_ERROR;
    if (state == ServiceState::kStopPending) g_stopping = true;
    status.dwCheckPoint = state == ServiceState::kStopPending ? ++g_checkpoint : 0;
    status.dwWaitHint = static_cast<DWORD>(wait_hint.count());
    trace::Trace("SetServiceStatus %u\r\n", static_cast<unsigned>(status.dwCurrentState));
    if (status.dwCheckPoint != 0) {
      trace::Trace("  checkpoint %u wait hint %u ms\r\n", static_cast<unsigned>(status.dwCheckPoint),
                   static_cast<unsigned>(status.dwWaitHint));
    }
    SetServiceStatus(g_status_handle, &status);
  }

  win32::ScopedHandle update_event_;
  win32::ScopedHandle stop_event_;
  // The schedule's objects, used by ServiceMain's thread only.
  Win32KeeperPlatform keeper_;
  win32::ScopedHandle resume_event_;
  win32::ScopedHandle logon_scan_event_;
  shared::KeyWatch watches_[2] = {shared::SettingsKeyWatch(), shared::PolicyKeyWatch()};
  bool watching_[2] = {false, false};
  bool fired_[2] = {false, false};
};

}  // namespace

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
  std::vector<std::u16string> arguments;
  for (DWORD i = 0; argv != nullptr && i < argc; ++i) arguments.push_back(win32::FromWide(argv[i]));
  Win32ServicePlatform platform;
  RunServiceMain(arguments, platform);
}

bool WaitForLogonWork(DWORD limit_ms) { return LogonWorker().WaitUntilIdle(std::chrono::milliseconds(limit_ms)); }

DWORD WINAPI ServiceCtrlHandler(DWORD control, DWORD event_type, LPVOID event_data, LPVOID) {
  std::optional<std::uint32_t> session;
  if (control == kControlSessionChange && event_data != nullptr) {
    session = static_cast<const WTSSESSION_NOTIFICATION*>(event_data)->dwSessionId;
  }
  Win32ServicePlatform platform;
  HandleServiceControl(control, event_type, session, platform);
  return NO_ERROR;
}

void RunServiceDispatcher() {
  std::u16string name(shared::entry::kName);
  const SERVICE_TABLE_ENTRYW table[] = {
      {win32::Wide(name.data()), &ServiceMain},
      {nullptr, nullptr},
  };
  StartServiceCtrlDispatcherW(table);
}

}  // namespace service
