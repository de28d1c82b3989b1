// A faulting agent, with the real scheduler.exe on Wine's service control
// manager: one that has run a minute is followed by a new agent, one that
// faults sooner only ends, and no debugger or error window comes up. The
// fault is injected from here (a thread started in the agent at an address
// that faults, or at the runtime's abort), so the shipped program carries no
// test hook. It waits a minute, so it runs in a Wine prefix of its own,
// beside the tests of the shared one.
#include <windows.h>
#include <tlhelp32.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "support/win32/platform.h"
#include "support/win32/poll.h"
#include "support/win32/process_runner.h"
#include "support/win32/service_entry_probe.h"

namespace {

using ::testing::ElementsAre;
using test_support::ChildProcess;
using test_support::PollFor;
using test_support::Quoted;

constexpr wchar_t kEventWindowClass[] = L"Veltrane Scheduler Event Window";
constexpr DWORD kAccessViolation = 0xC0000005u;
constexpr DWORD kAbortExitCode = 3;

// The processes that own an agent window.
std::vector<DWORD> AgentIds() {
  std::vector<DWORD> ids;
  for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, kEventWindowClass, kEventWindowClass));) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    ids.push_back(id);
  }
  return ids;
}

void EndAgents() {
  for (const DWORD id : AgentIds()) {
    win32::ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    if (process && TerminateProcess(process.Get(), 0)) WaitForSingleObject(process.Get(), 5000);
  }
}

// Starts a thread in `process` at `address`.
bool Inject(HANDLE process, LPTHREAD_START_ROUTINE address) {
  win32::ScopedHandle thread(CreateRemoteThread(process, nullptr, 0, address, nullptr, 0, nullptr));
  return thread.IsValid();
}
LPTHREAD_START_ROUTINE FaultingAddress() { return reinterpret_cast<LPTHREAD_START_ROUTINE>(0x10); }
// The runtime's abort, at the same address in every process of the session.
LPTHREAD_START_ROUTINE Abort() {
  return reinterpret_cast<LPTHREAD_START_ROUTINE>(GetProcAddress(GetModuleHandleW(L"msvcrt.dll"), "abort"));
}

// Whether a debugger runs: Wine starts one, and leaves it attached, for a
// fault that reaches its default handling.
bool DebuggerRunning() {
  win32::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {sizeof entry};
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    if (_wcsicmp(entry.szExeFile, L"winedbg.exe") == 0) return true;
  }
  return false;
}

class SchedulerFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test_support::InConsoleSession()) GTEST_SKIP() << "the service starts agents at the console: run from there";
    ASSERT_TRUE(test_support::RemoveEntry());
    EndAgents();
  }
  void TearDown() override {
    EndAgents();
    test_support::RemoveEntry();
    EndAgents();  // one the stopping service may just have started
  }

  // Starts an agent as the service would, and waits for its window.
  void StartAgent(ChildProcess& agent) {
    ASSERT_TRUE(agent.Start(Quoted(test_support::SiblingPath(L"scheduler.exe")) + L" /user"));
    ASSERT_TRUE(PollFor([&] { return ::testing::Value(AgentIds(), ::testing::Contains(agent.id())); }, 10000));
  }
};

TEST_F(SchedulerFaultTest, AnAgentThatRanAMinuteIsFollowedByANewOneAndOneThatFaultsSoonerOnlyEnds) {
  if (test_support::RunningUnderWine()) {
    // Without the agent's own filter, Wine would start this debugger.
    win32::RegistryKey ae_debug;
    ASSERT_EQ(ae_debug.Open(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug", KEY_READ),
              ERROR_SUCCESS);
    EXPECT_NE(ae_debug.ReadText(u"Debugger", 512).value_or(u"").find(u"winedbg"), std::u16string::npos);
    EXPECT_TRUE(ae_debug.ReadText(u"Auto", 16) == u"1");
  }
  ASSERT_TRUE(test_support::CreateEntry(Quoted(test_support::SiblingPath(L"scheduler.exe")), L"Veltrane Scheduler"));
  ChildProcess lasting;
  StartAgent(lasting);
  const ULONGLONG lasting_started = GetTickCount64();

  // In its first minute an agent that faults, or whose runtime aborts, ends
  // with its fault and brings nobody back.
  struct Early {
    LPTHREAD_START_ROUTINE fault;
    DWORD exit_code;
  };
  for (const Early early : {Early{FaultingAddress(), kAccessViolation}, Early{Abort(), kAbortExitCode}}) {
    ChildProcess agent;
    StartAgent(agent);
    ASSERT_TRUE(Inject(agent.handle(), early.fault));
    EXPECT_EQ(agent.Wait(10000), std::optional<DWORD>(early.exit_code));
  }
  Sleep(3000);
  EXPECT_FALSE(DebuggerRunning());
  EXPECT_THAT(AgentIds(), ElementsAre(lasting.id()));
  EXPECT_EQ(test_support::CurrentState(), static_cast<DWORD>(SERVICE_STOPPED));

  // After a minute the service comes back and brings a new agent, which
  // stops it again.
  const ULONGLONG ran = GetTickCount64() - lasting_started;
  if (ran < 61000) Sleep(static_cast<DWORD>(61000 - ran));
  ASSERT_TRUE(Inject(lasting.handle(), FaultingAddress()));
  EXPECT_EQ(lasting.Wait(10000), std::optional<DWORD>(kAccessViolation));
  EXPECT_TRUE(PollFor([&] { return AgentIds().size() == 1 && AgentIds()[0] != lasting.id(); }, 20000))
      << "no new agent";
  EXPECT_TRUE(test_support::WaitForState(SERVICE_STOPPED, 15000)) << test_support::CurrentState();
  EXPECT_FALSE(DebuggerRunning());
}

}  // namespace
