// The turns of service and agent with the real scheduler.exe on Wine's
// service control manager: the service starts the agent, the agent stops the
// service and brings it back, the update event ends both, and a due scan
// reaches the stand-in scanner. Lines written by scheduler_traced.exe (the
// same program with its trace sent to the debugger output) are read where a
// test needs to see inside.
#include <windows.h>
#include <psapi.h>
#include <sddl.h>
#include <wtsapi32.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "common/win32/wide.h"
#include "debug_output_listener.h"
#include "scheduler/events/scheduler_events.h"
#include "scheduler/shared/agent_session.h"
#include "support/win32/host_process.h"
#include "support/win32/message_box_answerer.h"
#include "support/win32/platform.h"
#include "support/win32/poll.h"
#include "support/win32/process_runner.h"
#include "support/win32/service_entry_probe.h"
#include "support/win32/stand_in_scanner.h"

namespace {

using test_support::ChildProcess;
using test_support::PollFor;
using test_support::Quoted;
using test_support::SiblingPath;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr wchar_t kEventWindowClass[] = L"Veltrane Scheduler Event Window";
constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\Veltrane";
constexpr DWORD kSettleMs = 3000;  // how long "nothing happens" is watched
// How long an expected state may take to come on a loaded machine: a bound,
// not a pace, since every wait ends as soon as the state is there.
constexpr DWORD kLoadedMachineMs = 90000;

std::wstring Scheduler() { return SiblingPath(L"scheduler.exe"); }
std::wstring TracedScheduler() { return SiblingPath(L"scheduler_traced.exe"); }

HWND AgentWindow() { return FindWindowW(kEventWindowClass, kEventWindowClass); }

DWORD AgentProcessId() {
  DWORD process_id = 0;
  if (HWND window = AgentWindow()) GetWindowThreadProcessId(window, &process_id);
  return process_id;
}

bool AgentMutexExists() {
  const std::u16string name = shared::AgentSessionMutexName(WTSGetActiveConsoleSessionId());
  win32::ScopedHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, win32::Wide(name)));
  return static_cast<bool>(mutex);
}

std::wstring ImagePath(DWORD process_id) {
  win32::ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id));
  wchar_t path[MAX_PATH] = {};
  if (!process || GetModuleFileNameExW(process.get(), nullptr, path, MAX_PATH) == 0) return L"";
  return path;
}

// Ends every agent there is, as the end of its session would.
void EndAgents() {
  for (int i = 0; i < 20 && AgentWindow() != nullptr; ++i) {
    win32::ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, AgentProcessId()));
    if (process) {
      TerminateProcess(process.get(), 0);
      WaitForSingleObject(process.get(), 5000);
    }
    PollFor([] { return AgentWindow() == nullptr; }, 1000);
  }
}

bool StartServiceWith(const wchar_t* argument) {
  win32::ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  win32::ScopedServiceHandle service(OpenServiceW(manager.get(), test_support::kSchedulerServiceName, SERVICE_START));
  if (!service) return false;
  const wchar_t* arguments[] = {argument};
  return StartServiceW(service.get(), argument ? 1 : 0, argument ? arguments : nullptr);
}

bool StopService() {
  win32::ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  win32::ScopedServiceHandle service(OpenServiceW(manager.get(), test_support::kSchedulerServiceName, SERVICE_STOP));
  SERVICE_STATUS status = {};
  return service && ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
}

void SetSetting(const wchar_t* name, const std::wstring& text) {
  win32::RegistryKey key;
  ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Veltrane", KEY_SET_VALUE), ERROR_SUCCESS);
  ASSERT_EQ(key.WriteText(win32::Utf16(name), win32::Utf16(text.c_str())), ERROR_SUCCESS);
}

constexpr wchar_t kPolicyKey[] = L"SOFTWARE\\Policies\\Veltrane";

// A DWORD under the Group Policy key, as a policy writes it.
void SetPolicyNumber(const wchar_t* name, DWORD number) {
  win32::RegistryKey key;
  ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Policies\\Veltrane", KEY_SET_VALUE), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number),
            ERROR_SUCCESS);
}

void ClearSettings() {
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSettingsKey);
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, kPolicyKey);
}

// Local time `offset_minutes` from now, in the stored timestamp format.
std::wstring Timestamp(LONGLONG offset_minutes) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILETIME file_time;
  SystemTimeToFileTime(&now, &file_time);
  ULARGE_INTEGER ticks{{file_time.dwLowDateTime, file_time.dwHighDateTime}};
  ticks.QuadPart += offset_minutes * 60LL * 10000000LL;
  file_time = {ticks.LowPart, ticks.HighPart};
  SYSTEMTIME then;
  FileTimeToSystemTime(&file_time, &then);
  wchar_t text[32];
  swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", then.wYear, then.wMonth, then.wDay, then.wHour, then.wMinute,
           then.wSecond);
  return text;
}

// A run time a few minutes ago today, as "hours:minutes"; empty just after
// midnight, when no such time exists.
std::wstring RunTimeMinutesAgo(int minutes) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  const int of_day = now.wHour * 60 + now.wMinute - minutes;
  if (of_day < 0) return L"";
  return std::to_wstring(of_day / 60) + L":" + std::to_wstring(of_day % 60);
}

const wchar_t* DayWord(int day_of_week) {
  static const wchar_t* const kWords[] = {L"sun", L"mon", L"tue", L"wed", L"thu", L"fri", L"sat"};
  return kWords[((day_of_week % 7) + 7) % 7];
}

int Today() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return now.wDayOfWeek;
}

class SchedulerTurnsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test_support::InConsoleSession()) GTEST_SKIP() << "the service starts agents at the console: run from there";
    ASSERT_TRUE(test_support::RemoveEntry());
    EndAgents();
    ClearSettings();
  }

  void TearDown() override {
    SetEnvironmentVariableW(L"WINEDEBUG", L"-all");  // a relay trace ends with its test
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Debug", L"RelayInclude");
    EndAgents();
    test_support::RemoveEntry();
    EndAgents();  // an agent the stopping service may just have started
    ClearSettings();
  }

  void Install(const std::wstring& program) {
    ASSERT_TRUE(test_support::CreateEntry(Quoted(program), L"Veltrane Scheduler"));
  }

  // Starts "<program>" /user as the service would, and waits for its window.
  void StartAgent(const std::wstring& program) {
    ASSERT_TRUE(agent_.Start(Quoted(program) + L" /user")) << agent_.last_error();
    ASSERT_TRUE(PollFor([] { return AgentWindow() != nullptr; }, kLoadedMachineMs)) << "no event window";
  }

  void RunUpdateTool() {
    const test_support::ProcessResult result =
        test_support::RunProcess(Quoted(SiblingPath(L"set_update_event.exe")), 10000);
    ASSERT_TRUE(result.started);
    ASSERT_EQ(result.exit_code, 0u) << "the update event does not exist";
  }

  ChildProcess agent_;
};

TEST_F(SchedulerTurnsTest, ServiceStartsTheAgentAtTheConsoleAndTheAgentStopsTheService) {
  Install(Scheduler());
  ASSERT_TRUE(StartServiceWith(nullptr)) << GetLastError();

  ASSERT_TRUE(PollFor([] { return AgentWindow() != nullptr; }, 15000)) << "no agent window";
  EXPECT_TRUE(AgentMutexExists());
  EXPECT_FALSE(IsWindowVisible(AgentWindow()));
  EXPECT_EQ(_wcsicmp(ImagePath(AgentProcessId()).c_str(), Scheduler().c_str()), 0) << ImagePath(AgentProcessId());
  EXPECT_TRUE(test_support::WaitForState(SERVICE_STOPPED, 15000)) << test_support::CurrentState();
  // One agent, and it stays.
  Sleep(1000);
  EXPECT_NE(AgentWindow(), nullptr);
}

TEST_F(SchedulerTurnsTest, MissedDailyRunStartsTheScanAboutTenSecondsAfterTheAgentStartsAndOnlyOnce) {
  const std::wstring run_time = RunTimeMinutesAgo(2);
  if (run_time.empty()) GTEST_SKIP() << "too close to midnight for a run time already past today";
  test_support::StandInScanner scanner(test_support::kSchedulerApplicationSubkey);
  ASSERT_TRUE(scanner.ok());
  SetSetting(L"SchedulerWhen", L"daily");
  SetSetting(L"SchedulerAround", run_time);
  SetSetting(L"LastScan", Timestamp(-26 * 60));

  const ULONGLONG started = GetTickCount64();
  StartAgent(Scheduler());
  const std::vector<std::wstring> log = scanner.WaitForLog(1, kLoadedMachineMs);
  const ULONGLONG elapsed = GetTickCount64() - started;
  ASSERT_EQ(log, std::vector<std::wstring>{Quoted(scanner.path()) + L" /scan:boot /quiet /quick"});
  EXPECT_GE(elapsed, 8000u);
  EXPECT_LE(elapsed, 16000u);
  Sleep(kSettleMs);
  EXPECT_EQ(scanner.Log().size(), 1u) << "the re-armed timer must wait for tomorrow";
}

TEST_F(SchedulerTurnsTest, ADueScanWaitsWhileAFullScreenWindowIsInFrontAndStartsOnceItGoes) {
  const std::wstring run_time = RunTimeMinutesAgo(2);
  if (run_time.empty()) GTEST_SKIP() << "too close to midnight for a run time already past today";
  test_support::StandInScanner scanner(test_support::kSchedulerApplicationSubkey);
  ASSERT_TRUE(scanner.ok());
  SetSetting(L"SchedulerWhen", L"daily");
  SetSetting(L"SchedulerAround", run_time);
  SetSetting(L"LastScan", Timestamp(-26 * 60));
  SetSetting(L"SchedulerDeferBusyMinutes", L"0");  // the policy's value wins
  SetPolicyNumber(L"SchedulerDeferBusyMinutes", 5);

  // A borderless window over the whole screen, in front: a game or a video.
  HWND full_screen =
      CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"full screen", WS_POPUP | WS_VISIBLE, 0, 0,
                      GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(full_screen, nullptr);
  SetForegroundWindow(full_screen);
  ASSERT_EQ(GetForegroundWindow(), full_screen);

  StartAgent(Scheduler());
  Sleep(16000);  // the catch-up falls due about 10 s after the start
  EXPECT_TRUE(scanner.Log().empty()) << "the scan did not wait";
  DestroyWindow(full_screen);
  EXPECT_EQ(scanner.WaitForLog(1, kLoadedMachineMs).size(), 1u);
  Sleep(kSettleMs);
  EXPECT_EQ(scanner.Log().size(), 1u);
}

TEST_F(SchedulerTurnsTest, RecentLastScanOrAnotherWeekdayStartsNothing) {
  const std::wstring run_time = RunTimeMinutesAgo(2);
  if (run_time.empty()) GTEST_SKIP() << "too close to midnight for a run time already past today";
  test_support::StandInScanner scanner(test_support::kSchedulerApplicationSubkey);
  ASSERT_TRUE(scanner.ok());
  SetSetting(L"SchedulerAround", run_time);

  // Daily, scanned an hour ago.
  SetSetting(L"SchedulerWhen", L"daily");
  SetSetting(L"LastScan", Timestamp(-60));
  StartAgent(Scheduler());
  Sleep(2000);  // it reads the settings right after its window exists
  // Weekly for tomorrow, last scan long ago: the run lies six days ahead.
  // (A second agent in the session is harmless here and shows its timer alone.)
  SetSetting(L"SchedulerWhen", DayWord(Today() + 1));
  SetSetting(L"LastScan", Timestamp(-10 * 24 * 60));
  ChildProcess weekly;
  ASSERT_TRUE(weekly.Start(Quoted(Scheduler()) + L" /user"));
  Sleep(13000);
  EXPECT_TRUE(scanner.Log().empty());
  weekly.Terminate();
}

TEST_F(SchedulerTurnsTest, WeeklyRunForTodayThatWasMissedIsCaughtUp) {
  const std::wstring run_time = RunTimeMinutesAgo(2);
  if (run_time.empty()) GTEST_SKIP() << "too close to midnight for a run time already past today";
  test_support::StandInScanner scanner(test_support::kSchedulerApplicationSubkey);
  ASSERT_TRUE(scanner.ok());
  SetSetting(L"SchedulerWhen", DayWord(Today()));
  SetSetting(L"SchedulerAround", run_time);
  SetSetting(L"SchedulerScanType", L"full");
  SetSetting(L"LastScan", Timestamp(-8 * 24 * 60));
  StartAgent(Scheduler());
  EXPECT_EQ(scanner.WaitForLog(1, kLoadedMachineMs),
            std::vector<std::wstring>{Quoted(scanner.path()) + L" /scan:boot /quiet"});
}

TEST_F(SchedulerTurnsTest, AgentWithoutUpdateEventStillStartsTheDueScan) {
  const std::wstring run_time = RunTimeMinutesAgo(2);
  if (run_time.empty()) GTEST_SKIP() << "too close to midnight for a run time already past today";
  // An object of another kind under the update event's name: the agent
  // cannot create or open the event.
  win32::ScopedHandle squatter(CreateMutexW(nullptr, FALSE, L"Global\\Veltrane Scheduler Update"));
  ASSERT_TRUE(squatter);
  test_support::StandInScanner scanner(test_support::kSchedulerApplicationSubkey);
  ASSERT_TRUE(scanner.ok());
  SetSetting(L"SchedulerWhen", L"daily");
  SetSetting(L"SchedulerAround", run_time);
  SetSetting(L"LastScan", Timestamp(-26 * 60));

  test_support::DebugOutputListener listener;
  ASSERT_TRUE(listener.IsListening());
  StartAgent(TracedScheduler());
  EXPECT_EQ(scanner.WaitForLog(1, kLoadedMachineMs).size(), 1u);
  EXPECT_TRUE(listener.WaitForLine("CreateUpdateEvent failed", 1000));
  for (const std::string& line : listener.Texts()) EXPECT_THAT(line, ::testing::Not(HasSubstr("WAIT_FAILED")));
}

TEST_F(SchedulerTurnsTest, UpdateEventEndsTheAgentAndTheServiceThatTookTheAgentsObjectsAndNeitherComesBack) {
  Install(TracedScheduler());
  StartAgent(Scheduler());
  const DWORD agent_id = AgentProcessId();
  ASSERT_TRUE(PollFor(
      [] {
        win32::ScopedHandle event(OpenEventW(SYNCHRONIZE, FALSE, L"Global\\Veltrane Scheduler Update"));
        return event && AgentMutexExists();
      },
      5000));
  // Started after the agent made both objects, the service trusts them: it
  // starts no second agent and waits on the agent's event.
  test_support::DebugOutputListener listener;
  ASSERT_TRUE(listener.IsListening());
  ASSERT_TRUE(StartServiceWith(nullptr));
  ASSERT_TRUE(test_support::WaitForState(SERVICE_RUNNING, kLoadedMachineMs));

  RunUpdateTool();
  EXPECT_TRUE(listener.WaitForLine("ServiceMain: Stopping [Updating]\r\n", 5000));
  for (const std::string& line : listener.Texts()) EXPECT_THAT(line, ::testing::Not(HasSubstr("started with PID")));
  EXPECT_TRUE(agent_.Wait(kLoadedMachineMs).has_value()) << "the agent did not end";
  EXPECT_FALSE(AgentMutexExists());
  Sleep(kSettleMs);
  EXPECT_EQ(test_support::CurrentState(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(AgentWindow(), nullptr) << "agent " << AgentProcessId() << " after " << agent_id;
}

TEST_F(SchedulerTurnsTest, UpdateEventStopsARunningServiceWithTheReasonUpdating) {
  SetSetting(L"SchedulerWhen", L"startup");  // a running service with no agent
  Install(TracedScheduler());
  test_support::DebugOutputListener listener;
  ASSERT_TRUE(listener.IsListening());
  ASSERT_TRUE(StartServiceWith(nullptr));
  ASSERT_TRUE(test_support::WaitForState(SERVICE_RUNNING, kLoadedMachineMs));

  RunUpdateTool();
  EXPECT_TRUE(test_support::WaitForState(SERVICE_STOPPED, kLoadedMachineMs)) << test_support::CurrentState();
  EXPECT_TRUE(listener.WaitForLine("ServiceMain: Stopping [Updating]\r\n", 5000));
  // The service's start and its stop for the update went to the Event Log.
  EXPECT_TRUE(listener.WaitForLine("ReportEventW 100: 0\r\n", 1000));
  EXPECT_TRUE(listener.WaitForLine("ReportEventW 103: 0\r\n", 1000));
}

TEST_F(SchedulerTurnsTest, ClosingTheAgentWindowBringsTheServiceBackWhichStartsANewAgent) {
  Install(Scheduler());
  StartAgent(Scheduler());
  const DWORD first = AgentProcessId();
  ASSERT_NE(first, 0u);

  ASSERT_TRUE(PostMessageW(AgentWindow(), WM_CLOSE, 0, 0));
  EXPECT_TRUE(agent_.Wait(kLoadedMachineMs).has_value()) << "the agent did not end";
  ASSERT_TRUE(PollFor([&] { return AgentProcessId() != 0 && AgentProcessId() != first; }, 20000))
      << "the service started no new agent";
  EXPECT_TRUE(AgentMutexExists());
  EXPECT_TRUE(test_support::WaitForState(SERVICE_STOPPED, 15000)) << "the new agent did not stop the service";
}

TEST_F(SchedulerTurnsTest, EveryEndOfSessionStartsTheServiceWithEndSessionAndThatServiceStartsNoAgent) {
  // A log-off, and a shutdown (lParam 0), after which Fast Startup hibernates
  // session 0 with the service as it stands.
  for (const LPARAM reason : {static_cast<LPARAM>(ENDSESSION_LOGOFF), LPARAM{0}}) {
    Install(TracedScheduler());
    test_support::DebugOutputListener listener;
    ASSERT_TRUE(listener.IsListening());
    StartAgent(TracedScheduler());

    DWORD_PTR result = 1;
    ASSERT_TRUE(SendMessageTimeoutW(AgentWindow(), WM_QUERYENDSESSION, 0, reason, SMTO_BLOCK, 5000, &result));
    EXPECT_EQ(result, static_cast<DWORD_PTR>(TRUE));
    ASSERT_TRUE(SendMessageTimeoutW(AgentWindow(), WM_ENDSESSION, TRUE, reason, SMTO_BLOCK, 10000, &result));
    ASSERT_TRUE(test_support::WaitForState(SERVICE_RUNNING, kLoadedMachineMs))
        << reason << " " << test_support::CurrentState();
    EXPECT_TRUE(listener.WaitForLine("Service Arg[1] = endsession\r\n", 5000)) << reason;

    // The session ends the agent; the service stays and starts none.
    agent_.Terminate();
    Sleep(kSettleMs);
    EXPECT_EQ(AgentWindow(), nullptr) << reason;
    EXPECT_EQ(test_support::CurrentState(), static_cast<DWORD>(SERVICE_RUNNING)) << reason;
    for (const std::string& line : listener.Texts()) EXPECT_THAT(line, ::testing::Not(HasSubstr("started with PID")));
    ASSERT_TRUE(test_support::RemoveEntry());
  }
}

TEST_F(SchedulerTurnsTest, AnApplicationCloseIsNoLogOffTheServiceComesBackWithoutEndSessionAndStartsANewAgent) {
  Install(TracedScheduler());
  test_support::DebugOutputListener listener;
  ASSERT_TRUE(listener.IsListening());
  StartAgent(TracedScheduler());
  const DWORD first = AgentProcessId();
  ASSERT_NE(first, 0u);

  // Restart Manager's request to close this one program.
  DWORD_PTR result = 0;
  ASSERT_TRUE(
      SendMessageTimeoutW(AgentWindow(), WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_BLOCK, 5000, &result));
  EXPECT_EQ(result, static_cast<DWORD_PTR>(TRUE));
  ASSERT_TRUE(SendMessageTimeoutW(AgentWindow(), WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_BLOCK, 10000, &result));
  EXPECT_TRUE(agent_.Wait(10000).has_value()) << "the agent did not close";
  ASSERT_TRUE(PollFor([&] { return AgentProcessId() != 0 && AgentProcessId() != first; }, 20000))
      << "the service started no new agent";
  for (const std::string& line : listener.Texts()) EXPECT_THAT(line, ::testing::Not(HasSubstr("endsession")));
}

TEST_F(SchedulerTurnsTest, AnUpdateEventSomebodyElseMadeFirstStopsNeitherServiceNorAgent) {
  if (!test_support::RunningUnderWine()) GTEST_SKIP() << "Windows refuses another user as owner of a new object";
  // Everyone may set it, and another user owns it. (Windows lets a user name
  // only itself as owner; Wine takes any owner, which stands in for that
  // other user here.)
  win32::ScopedLocalMemory descriptor;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:S-1-5-21-1-2-3-1001D:(A;;GA;;;WD)",
                                                                   SDDL_REVISION_1, descriptor.put(), nullptr));
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};
  win32::ScopedHandle squatted(CreateEventW(&attributes, TRUE, FALSE, L"Global\\Veltrane Scheduler Update"));
  ASSERT_TRUE(squatted);

  SetSetting(L"SchedulerWhen", L"startup");  // a running service with no agent
  Install(TracedScheduler());
  test_support::DebugOutputListener listener;
  ASSERT_TRUE(listener.IsListening());
  ASSERT_TRUE(StartServiceWith(nullptr));
  ASSERT_TRUE(test_support::WaitForState(SERVICE_RUNNING, kLoadedMachineMs));
  EXPECT_TRUE(listener.WaitForLine("Update event owned by S-1-5-21-1-2-3-1001 refused\r\n", 5000));
  ASSERT_TRUE(SetEvent(squatted.get()));
  Sleep(kSettleMs);
  EXPECT_EQ(test_support::CurrentState(), static_cast<DWORD>(SERVICE_RUNNING));

  // The event is set already: an agent that took it would end at once.
  SetSetting(L"SchedulerWhen", L"daily");
  StartAgent(Scheduler());
  Sleep(kSettleMs);
  EXPECT_FALSE(agent_.Wait(0).has_value()) << "the agent ended";
  EXPECT_NE(AgentWindow(), nullptr);
}

TEST_F(SchedulerTurnsTest, StartupModeStartsNothingAndAStopReportsPendingPendingStopped) {
  test_support::StandInScanner scanner(test_support::kSchedulerApplicationSubkey);
  ASSERT_TRUE(scanner.ok());
  SetSetting(L"SchedulerWhen", L"startup");
  SetSetting(L"LastScan", Timestamp(-30 * 24 * 60));
  Install(TracedScheduler());
  test_support::DebugOutputListener listener;
  ASSERT_TRUE(listener.IsListening());
  ASSERT_TRUE(StartServiceWith(nullptr));
  ASSERT_TRUE(test_support::WaitForState(SERVICE_RUNNING, kLoadedMachineMs));
  Sleep(kSettleMs);
  EXPECT_EQ(AgentWindow(), nullptr);
  EXPECT_TRUE(scanner.Log().empty());

  listener.Clear();
  ASSERT_TRUE(StopService());
  ASSERT_TRUE(test_support::WaitForState(SERVICE_STOPPED, kLoadedMachineMs));
  ASSERT_TRUE(listener.WaitForLine("SetServiceStatus 1\r\n", 5000));
  std::vector<std::string> lines;
  for (const std::string& line : listener.Texts()) {
    if (line.find("SetServiceStatus") == 0 || line.find("ServiceMain: Stopping") == 0) lines.push_back(line);
  }
  EXPECT_THAT(lines, ElementsAre("SetServiceStatus 3\r\n", "ServiceMain: Stopping [Control_Stop]\r\n",
                                 "SetServiceStatus 3\r\n", "SetServiceStatus 1\r\n"));
}

// This process's standard error on the host, where Wine writes this
// process's traces and those of the children, which inherit it, whoever
// started it (CTest by its Unix path, the kit's runner by its Windows path).
// Null when it is no file to read back: a terminal or a pipe.
win32::ScopedHandle OpenOwnTrace() {
  const std::wstring own = test_support::OwnHostProcess();
  if (own.empty()) return {};
  win32::ScopedHandle trace(CreateFileW((own + L"\\fd\\2").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
  if (trace && GetFileType(trace.get()) != FILE_TYPE_DISK) trace.reset();
  return trace;
}

// The ReportEventW calls in the relay trace since byte `from` of `trace`:
// "<type> <identifier>", then each insert, which Wine's advapi32 traces on
// its "eventlog" channel, as "  <insert>". `size` receives the trace's size.
std::vector<std::string> RelayedEvents(HANDLE trace, std::uint64_t from, std::uint64_t* size = nullptr) {
  LARGE_INTEGER end = {}, start = {};
  start.QuadPart = static_cast<LONGLONG>(from);
  std::string all;
  if (GetFileSizeEx(trace, &end) && end.QuadPart > start.QuadPart &&
      SetFilePointerEx(trace, start, nullptr, FILE_BEGIN)) {
    all.resize(static_cast<std::size_t>(std::min<LONGLONG>(end.QuadPart - start.QuadPart, 1 << 26)));
    DWORD read = 0;
    if (!ReadFile(trace, all.data(), static_cast<DWORD>(all.size()), &read, nullptr)) read = 0;
    all.resize(read);
  }
  if (size != nullptr) *size = static_cast<std::uint64_t>(end.QuadPart);
  std::vector<std::string> found;
  std::istringstream lines(all);
  for (std::string line; std::getline(lines, line);) {
    unsigned type = 0, identifier = 0;
    if (const auto call = line.find(":Call advapi32.ReportEventW("); call != std::string::npos) {
      if (std::sscanf(line.c_str() + call + 28, "%*x,%x,%*x,%x", &type, &identifier) == 2) {
        found.push_back(std::to_string(type) + " " + std::to_string(identifier));
      }
    } else if (const auto insert = line.find(":eventlog:ReportEventW L\""); insert != std::string::npos) {
      std::string plain = "  ";  // debugstr_w escapes \ and " with a backslash
      for (std::size_t i = insert + 25; i + 1 < line.size(); ++i) plain += line[i] == '\\' ? line[++i] : line[i];
      found.push_back(plain);
    }
  }
  return found;
}

std::string Relayed(events::Code code) {
  const int types[] = {0, EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE, EVENTLOG_ERROR_TYPE};
  const int type = types[static_cast<int>(events::LevelOf(code))];
  return std::to_string(type) + " " + std::to_string(events::Identifier(code));
}

// The event source's value: its type (0: missing) and text (a number in decimal).
std::pair<DWORD, std::wstring> SourceValue(const wchar_t* name) {
  wchar_t data[MAX_PATH] = {};
  DWORD type = 0, bytes = sizeof data;
  const std::u16string key(events::kSourceKeyPath);
  const DWORD flags = RRF_RT_ANY | RRF_NOEXPAND;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, win32::Wide(key), name, flags, &type, data, &bytes) != 0) return {};
  return {type, type == REG_DWORD ? std::to_wstring(*reinterpret_cast<DWORD*>(data)) : data};
}

// The real binaries under Wine's relay trace, narrowed to the Event Log
// calls: /install registers the source and reports it; an agent whose due
// scan finds the application running reports the skip and the next due
// time, and the update event ends it with its event; the next agent catches
// the missed run up; /uninstall reports and takes the source's key away.
TEST_F(SchedulerTurnsTest, EventLogRelayTraceShowsInstallSkipUpdateCatchUpAndUninstall) {
  if (!test_support::RunningUnderWine()) GTEST_SKIP() << "Wine's relay trace shows the Event Log calls";
  const std::wstring run_time = RunTimeMinutesAgo(2);
  if (run_time.empty()) GTEST_SKIP() << "too close to midnight for a run time already past today";
  const win32::ScopedHandle trace = OpenOwnTrace();
  if (!trace) GTEST_SKIP() << "the standard error is no file, so Wine's trace cannot be read back: send it to one";
  win32::RegistryKey debug;
  ASSERT_EQ(debug.Create(HKEY_CURRENT_USER, u"Software\\Wine\\Debug", KEY_SET_VALUE), ERROR_SUCCESS);
  ASSERT_EQ(debug.WriteText(u"RelayInclude", u"RegisterEventSourceW;ReportEventW;DeregisterEventSource"), 0);
  SetEnvironmentVariableW(L"WINEDEBUG", L"-all,+relay,+eventlog");  // for the children
  std::uint64_t from = 0;
  RelayedEvents(trace.get(), 0, &from);

  ASSERT_EQ(test_support::RunAnsweringMessageBoxes(Quoted(Scheduler()) + L" /install", L"Veltrane", 30000).boxes.size(),
            1u);
  const auto [message_file_type, message_file] = SourceValue(L"EventMessageFile");
  EXPECT_EQ(message_file_type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(_wcsicmp(message_file.c_str(), Scheduler().c_str()), 0) << message_file;
  EXPECT_EQ(SourceValue(L"TypesSupported"), std::make_pair(static_cast<DWORD>(REG_DWORD), std::wstring(L"7")));

  test_support::StandInScanner scanner(test_support::kSchedulerApplicationSubkey);
  ASSERT_TRUE(scanner.ok());
  SetSetting(L"SchedulerWhen", L"daily");
  SetSetting(L"SchedulerAround", run_time);
  SetSetting(L"LastScan", Timestamp(-26 * 60));
  const std::string next_due = Relayed(events::Code::kNextScanDue);
  const auto reported = [&](std::size_t times) {
    const std::vector<std::string> seen = RelayedEvents(trace.get(), from);
    return static_cast<std::size_t>(std::count(seen.begin(), seen.end(), next_due)) == times;
  };
  {
    win32::ScopedHandle running(CreateEventW(nullptr, TRUE, FALSE, L"Veltrane 3.7 Application"));
    StartAgent(Scheduler());
    ASSERT_TRUE(PollFor([&] { return reported(1); }, kLoadedMachineMs));
    RunUpdateTool();
    ASSERT_TRUE(agent_.Wait(kLoadedMachineMs).has_value());
  }
  ChildProcess second;
  ASSERT_TRUE(second.Start(Quoted(Scheduler()) + L" /user"));
  ASSERT_TRUE(PollFor([&] { return reported(2); }, kLoadedMachineMs));
  second.Terminate();
  const std::wstring uninstall = Quoted(Scheduler()) + L" /uninstall";
  ASSERT_EQ(test_support::RunAnsweringMessageBoxes(uninstall, L"Veltrane", 30000).boxes.size(), 1u);
  EXPECT_EQ(SourceValue(L"EventMessageFile").first, 0u);

  // After each run the timer stands at tomorrow's run time.
  int hours = 0, minutes = 0;
  ASSERT_EQ(swscanf(run_time.c_str(), L"%d:%d", &hours, &minutes), 2);
  char tomorrow_at[32];
  std::snprintf(tomorrow_at, sizeof tomorrow_at, "  %s %02d:%02d:00",
                test_support::ToUtf8(Timestamp(24 * 60).substr(0, 10)).c_str(), hours, minutes);
  EXPECT_THAT(RelayedEvents(trace.get(), from),
              ElementsAre(Relayed(events::Code::kServiceInstalled), "  " + test_support::ToUtf8(Scheduler()),
                          Relayed(events::Code::kScanSkippedApplicationRuns), next_due, tomorrow_at,
                          Relayed(events::Code::kAgentEndedForUpdate), Relayed(events::Code::kScanStartedCatchUp),
                          "  quick", "  " + test_support::ToUtf8(Quoted(scanner.path())) + " /scan:boot /quiet /quick",
                          next_due, tomorrow_at, Relayed(events::Code::kServiceUninstalled)));
}

}  // namespace

// "SchedulerRunAs" system: the service keeps the schedule itself.
class SystemRunAsTest : public SchedulerTurnsTest {
 protected:
  static DWORD ServiceProcessId() {
    win32::ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    win32::ScopedServiceHandle service(
        manager ? OpenServiceW(manager.get(), test_support::kSchedulerServiceName, SERVICE_QUERY_STATUS) : nullptr);
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!service || !QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                          sizeof status, &needed)) {
      return 0;
    }
    return status.dwProcessId;
  }
  // A daily run a few minutes ago and a last scan two days old: a catch-up is due.
  static void MissedDailyRun(void (*set)(const wchar_t*, const std::wstring&), const std::wstring& run_time) {
    set(L"SchedulerWhen", L"daily");
    set(L"SchedulerAround", run_time);
  }
  static void SetPolicyText(const wchar_t* name, const std::wstring& text) {
    win32::RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Policies\\Veltrane", KEY_SET_VALUE), ERROR_SUCCESS);
    ASSERT_EQ(key.WriteText(win32::Utf16(name), win32::Utf16(text.c_str())), ERROR_SUCCESS);
  }
  void StartService() {
    ASSERT_TRUE(StartServiceWith(nullptr));
    ASSERT_TRUE(test_support::WaitForState(SERVICE_RUNNING, 10000));
  }
};

// The service process itself starts the scheduled command line; no agent
// ever appears, and the service stays RUNNING.
TEST_F(SystemRunAsTest, ServiceStartCatchesUpATwoDayOldLastScanFromItsOwnProcess) {
  const std::wstring run_time = RunTimeMinutesAgo(5);
  if (run_time.empty()) GTEST_SKIP() << "too close to midnight for a run time already past today";
  test_support::StandInScanner scanner(test_support::kSchedulerApplicationSubkey);
  ASSERT_TRUE(scanner.ok());
  SetSetting(L"SchedulerRunAs", L"System");
  MissedDailyRun(&SetSetting, run_time);
  SetSetting(L"LastScan", Timestamp(-2 * 24 * 60));
  Install(Scheduler());
  StartService();

  bool agent_seen = false;
  PollFor([&] { return (agent_seen |= AgentWindow() != nullptr || AgentMutexExists()) || !scanner.Log().empty(); },
          25000);
  ASSERT_EQ(scanner.Log(), std::vector<std::wstring>{Quoted(scanner.path()) + L" /scan:boot /quiet /quick"});
  EXPECT_EQ(scanner.LastParentProcessId(), ServiceProcessId());
  PollFor([&] { return agent_seen |= AgentWindow() != nullptr || AgentMutexExists(); }, kSettleMs);
  EXPECT_FALSE(agent_seen);
  EXPECT_EQ(scanner.Log().size(), 1u);
  EXPECT_EQ(test_support::CurrentState(), static_cast<DWORD>(SERVICE_RUNNING));
}

// A scanner a user started holds no event the service can see: its image
// is enough, and nothing starts.
TEST_F(SystemRunAsTest, ARunningScannerWithoutItsEventIsSeenByItsImage) {
  const std::wstring run_time = RunTimeMinutesAgo(5);
  if (run_time.empty()) GTEST_SKIP() << "too close to midnight for a run time already past today";
  test_support::StandInScanner scanner(test_support::kSchedulerApplicationSubkey);
  ASSERT_TRUE(scanner.ok());
  ChildProcess running;
  ASSERT_TRUE(running.Start(Quoted(scanner.path()) + L" --idle"));
  SetSetting(L"SchedulerRunAs", L"system");
  MissedDailyRun(&SetSetting, run_time);
  SetSetting(L"LastScan", Timestamp(-2 * 24 * 60));
  Install(Scheduler());
  StartService();
  Sleep(10000 + 2 * kSettleMs);  // the catch-up falls due 10 s after the start
  EXPECT_TRUE(scanner.Log().empty());
  running.Terminate();
}

// The full-screen test runs on the console user's desktop: a due scan waits
// while a borderless window covers the screen there, and starts once it goes.
TEST_F(SystemRunAsTest, ADueScanWaitsWhileTheConsoleUserIsBusy) {
  const std::wstring run_time = RunTimeMinutesAgo(5);
  if (run_time.empty()) GTEST_SKIP() << "too close to midnight for a run time already past today";
  test_support::StandInScanner scanner(test_support::kSchedulerApplicationSubkey);
  ASSERT_TRUE(scanner.ok());
  SetSetting(L"SchedulerRunAs", L"system");
  MissedDailyRun(&SetSetting, run_time);
  SetSetting(L"LastScan", Timestamp(-2 * 24 * 60));
  SetPolicyNumber(L"SchedulerDeferBusyMinutes", 5);
  HWND full_screen =
      CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"full screen", WS_POPUP | WS_VISIBLE, 0, 0,
                      GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(full_screen, nullptr);
  SetForegroundWindow(full_screen);
  Install(Scheduler());
  StartService();
  Sleep(16000);  // the catch-up falls due 10 s after the start
  EXPECT_TRUE(scanner.Log().empty()) << "the scan did not wait";
  DestroyWindow(full_screen);
  EXPECT_EQ(scanner.WaitForLog(1, 40000).size(), 1u);  // looked at again every 30 s
}

// A schedule written to the policy key while the service waits is armed at
// once, without a restart.
TEST_F(SystemRunAsTest, APolicyScheduleWrittenWhileTheServiceWaitsIsArmed) {
  const std::wstring run_time = RunTimeMinutesAgo(5);
  if (run_time.empty()) GTEST_SKIP() << "too close to midnight for a run time already past today";
  test_support::StandInScanner scanner(test_support::kSchedulerApplicationSubkey);
  ASSERT_TRUE(scanner.ok());
  SetSetting(L"SchedulerRunAs", L"system");
  SetSetting(L"LastScan", Timestamp(-2 * 24 * 60));
  Install(Scheduler());
  StartService();
  Sleep(kSettleMs);
  MissedDailyRun(&SetPolicyText, run_time);
  EXPECT_EQ(scanner.WaitForLog(1, 25000).size(), 1u);
  Sleep(kSettleMs);
  EXPECT_EQ(scanner.Log().size(), 1u);
}

// user → system while an agent runs: the agent hands over to the service,
// and a missed run then due is caught up once, by one of them only.
TEST_F(SystemRunAsTest, SwitchingFromUserToSystemLeavesExactlyOneScheduleKeeper) {
  const std::wstring run_time = RunTimeMinutesAgo(5);
  if (run_time.empty()) GTEST_SKIP() << "too close to midnight for a run time already past today";
  test_support::StandInScanner scanner(test_support::kSchedulerApplicationSubkey);
  ASSERT_TRUE(scanner.ok());
  SetSetting(L"LastScan", Timestamp(-2 * 24 * 60));
  Install(Scheduler());
  StartAgent(Scheduler());
  ASSERT_TRUE(test_support::WaitForState(SERVICE_STOPPED, 10000)) << "the agent stops the service";

  SetSetting(L"SchedulerRunAs", L"system");
  EXPECT_TRUE(PollFor([] { return AgentWindow() == nullptr && !AgentMutexExists(); }, 10000)) << "agent still runs";
  ASSERT_TRUE(test_support::WaitForState(SERVICE_RUNNING, 10000)) << "the agent starts the service";
  MissedDailyRun(&SetSetting, run_time);
  EXPECT_EQ(scanner.WaitForLog(1, 25000).size(), 1u);
  Sleep(kSettleMs);
  EXPECT_EQ(scanner.Log().size(), 1u);
  EXPECT_EQ(scanner.LastParentProcessId(), ServiceProcessId());
}
