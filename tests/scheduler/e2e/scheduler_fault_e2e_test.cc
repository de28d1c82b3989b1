// A faulting agent with the real scheduler.exe: one that ran a minute is
// followed by a new agent, one that faults or aborts sooner only ends, and no
// debugger is left running. The fault is injected from here (a thread started
// in the agent at a faulting address, or at the runtime's abort), so the
// shipped program has no test hook. It waits a minute, in a prefix of its own.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "common/win32/scoped_handle.h"
#include "support/win32/message_box_answerer.h"
#include "support/win32/platform.h"
#include "support/win32/poll.h"
#include "support/win32/process_runner.h"
#include "support/win32/service_entry_probe.h"

namespace {

std::vector<DWORD> AgentIds() {
  std::vector<DWORD> ids;
  const wchar_t* kClass = L"Veltrane Scheduler Event Window";
  for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, kClass, kClass)) != nullptr;) {
    GetWindowThreadProcessId(window, &ids.emplace_back());
  }
  return ids;
}

// Wine's prefix names winedbg as the debugger to start on its own (AeDebug).
bool DebuggerRunning() {
  win32::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {sizeof entry};
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (_wcsicmp(entry.szExeFile, L"winedbg.exe") == 0) return true;
  }
  return false;
}

void StartAgent(test_support::ChildProcess& agent) {
  ASSERT_TRUE(agent.Start(test_support::Quoted(test_support::SiblingPath(L"scheduler.exe")) + L" /user"));
  const auto has_window = [&] {
    const std::vector<DWORD> ids = AgentIds();
    return std::find(ids.begin(), ids.end(), agent.id()) != ids.end();
  };
  ASSERT_TRUE(test_support::PollFor(has_window, 10000));
}

std::optional<DWORD> InjectAndWait(test_support::ChildProcess& agent, const void* address) {
  const auto start = reinterpret_cast<LPTHREAD_START_ROUTINE>(address);
  win32::ScopedHandle thread(CreateRemoteThread(agent.handle(), nullptr, 0, start, nullptr, 0, nullptr));
  return thread ? agent.Wait(10000) : std::nullopt;
}

// The agent the service started, as `net start` brings it; 0 when none came.
DWORD ServiceAgent() {
  DWORD id = 0;
  test_support::PollFor(
      [&] {
        const std::vector<DWORD> ids = AgentIds();
        id = ids.size() == 1 ? ids[0] : 0;
        return id != 0;
      },
      30000);
  return id;
}

// Faults the agent `id` with a thread at an invalid address: its exit code.
std::optional<DWORD> FaultAgent(DWORD id) {
  win32::ScopedHandle agent(OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                                            PROCESS_VM_WRITE | PROCESS_VM_READ | SYNCHRONIZE,
                                        FALSE, id));
  if (!agent) return std::nullopt;
  const auto start = reinterpret_cast<LPTHREAD_START_ROUTINE>(0x10);
  win32::ScopedHandle thread(CreateRemoteThread(agent.get(), nullptr, 0, start, nullptr, 0, nullptr));
  DWORD code = 0;
  if (!thread || WaitForSingleObject(agent.get(), 10000) != WAIT_OBJECT_0 || !GetExitCodeProcess(agent.get(), &code)) {
    return std::nullopt;
  }
  return code;
}

// The agent's turn ends in a fault after it ran a minute, again and again:
// each time the service comes back and a new agent takes over and stops it.
// The race this guards against lost the agent in four runs of five, so a
// few rounds are enough to see it.
constexpr int kFaultRounds = 3;

TEST(SchedulerFaultTest, AnAgentThatRanAMinuteIsAlwaysFollowedByANewOneAndOneThatFaultsSoonerOnlyEnds) {
  if (!test_support::InConsoleSession()) GTEST_SKIP() << "the service starts agents at the console";
  const void* const faulting = reinterpret_cast<const void*>(0x10);
  const void* const abort = reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleW(L"msvcrt.dll"), "abort"));
  ASSERT_TRUE(test_support::RemoveEntry());
  const std::wstring install = test_support::Quoted(test_support::SiblingPath(L"scheduler.exe")) + L" /install";
  ASSERT_EQ(test_support::RunAnsweringMessageBoxes(install, L"Veltrane", 30000).boxes.size(), 1u);
  const test_support::ProcessResult started = test_support::RunProcess(L"net start VeltraneScheduler", 60000);
  ASSERT_TRUE(started.started && !started.timed_out && started.exit_code == 0) << "net start: " << started.exit_code;
  DWORD lasting = ServiceAgent();
  ASSERT_NE(lasting, 0u) << "the service started no agent";
  ULONGLONG lasting_started = GetTickCount64();
  ASSERT_TRUE(test_support::WaitForState(SERVICE_STOPPED, 15000)) << "the agent did not stop the service";

  for (const auto& [address, exit_code] : {std::pair{faulting, 0xC0000005u}, std::pair{abort, 3u}}) {
    test_support::ChildProcess early;
    StartAgent(early);
    EXPECT_EQ(InjectAndWait(early, address), std::optional<DWORD>(exit_code));
  }
  Sleep(3000);
  EXPECT_FALSE(DebuggerRunning());
  EXPECT_EQ(AgentIds(), std::vector<DWORD>{lasting});
  EXPECT_EQ(test_support::CurrentState(), static_cast<DWORD>(SERVICE_STOPPED));

  for (int round = 0; round < kFaultRounds; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    Sleep(static_cast<DWORD>(70000 - std::min<ULONGLONG>(70000, GetTickCount64() - lasting_started)));
    ASSERT_EQ(FaultAgent(lasting), std::optional<DWORD>(0xC0000005u));
    ASSERT_TRUE(test_support::PollFor([&] { return AgentIds().size() == 1 && AgentIds()[0] != lasting; }, 30000))
        << "no new agent; service state " << test_support::CurrentState();
    lasting = AgentIds()[0];
    lasting_started = GetTickCount64();
    ASSERT_TRUE(test_support::WaitForState(SERVICE_STOPPED, 15000)) << "the new agent did not stop the service";
  }
  EXPECT_FALSE(DebuggerRunning());
  for (const DWORD id : AgentIds()) {
    win32::ScopedHandle agent(OpenProcess(PROCESS_TERMINATE, FALSE, id));
    if (agent) TerminateProcess(agent.get(), 0);
  }
  test_support::RemoveEntry();
}

}  // namespace
