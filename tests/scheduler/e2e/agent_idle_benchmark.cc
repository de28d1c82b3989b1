// Benchmark: the processor time an idle agent takes. Starts scheduler.exe
// /user beside this program (no schedule, so only its one-second tick wakes
// it), lets it settle, and measures its user and kernel time over a minute,
// several minutes in a row. Prints one line "agent idle: <ms> ms CPU over <s>
// s (<percent>%)" per round, then "ratio agent_idle_percent P 0.05", P the
// median percentage of one core.
//
//   agent_idle_benchmark.exe [seconds per round] [rounds]
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/win32/scoped_handle.h"
#include "support/win32/bench_figures.h"
#include "support/win32/host_process.h"

namespace {

ULONGLONG CpuTicks(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  const ULONGLONG k = (ULONGLONG{kernel.dwHighDateTime} << 32) | kernel.dwLowDateTime;
  const ULONGLONG u = (ULONGLONG{user.dwHighDateTime} << 32) | user.dwLowDateTime;
  return k + u;
}

// Under Wine, GetProcessTimes of another process does not follow its use of
// the processor. The agent is a host process then, whose times the host's
// /proc (Wine's drive Z:) holds in clock ticks of 10 ms; they are used where
// they can be found. 0 when there is no such process.
ULONGLONG HostCpuTicks(const char* image) {
  const std::wstring folder = test_support::FindHostProcess(image, true);
  if (folder.empty()) return 0;
  // Fields 14 and 15 (user and system time) follow the name in parentheses.
  const std::string stat = test_support::ReadHostFile(folder + L"\\stat");
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  unsigned long long user = 0, system = 0;
  if (std::sscanf(stat.c_str() + close + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user, &system) !=
      2) {
    return 0;
  }
  return (user + system) * 100000;  // 10 ms in 100 ns units
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const DWORD seconds = argc > 1 ? static_cast<DWORD>(_wtoi(argv[1])) : 60;
  const int rounds = argc > 2 ? _wtoi(argv[2]) : 5;
  if (seconds == 0 || rounds < 1) return 2;
  wchar_t path[MAX_PATH] = {};
  if (GetModuleFileNameW(nullptr, path, MAX_PATH) == 0) return 1;
  wchar_t* slash = wcsrchr(path, L'\\');
  if (slash == nullptr) return 1;
  wcscpy(slash + 1, L"scheduler.exe");
  wchar_t command_line[MAX_PATH + 16];
  swprintf(command_line, MAX_PATH + 16, L"\"%ls\" /user", path);

  // No schedule: the agent's only wake-ups are its tick.
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Veltrane");
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "cannot start the agent: %lu\n", GetLastError());
    return 1;
  }
  win32::ScopedHandle agent(process.hProcess);
  win32::ScopedHandle thread(process.hThread);

  Sleep(5000);  // start-up done
  if (WaitForSingleObject(agent.get(), 0) != WAIT_TIMEOUT) {
    std::fprintf(stderr, "the agent ended early\n");
    return 1;
  }
  std::vector<double> percents;
  bool still_running = true;
  for (int round = 0; round < rounds && still_running; ++round) {
    const ULONGLONG host_before = HostCpuTicks("scheduler.exe");
    const ULONGLONG before = CpuTicks(agent.get());
    Sleep(seconds * 1000);
    ULONGLONG after = CpuTicks(agent.get());
    const ULONGLONG host_after = HostCpuTicks("scheduler.exe");
    const bool from_host = host_before != 0 && host_after != 0;
    if (from_host) after = before + (host_after - host_before);
    still_running = WaitForSingleObject(agent.get(), 0) == WAIT_TIMEOUT;
    const double cpu_ms = static_cast<double>(after - before) / 10000.0;
    percents.push_back(cpu_ms / (seconds * 10.0));
    std::printf("agent idle: %.1f ms CPU over %lu s (%.3f%%)%s\n", cpu_ms, seconds, percents.back(),
                from_host ? ", from the host's process times" : "");
  }
  TerminateProcess(agent.get(), 0);
  WaitForSingleObject(agent.get(), 5000);
  if (!still_running) {
    std::fprintf(stderr, "the agent ended during the measurement\n");
    return 1;
  }
  test_support::PrintRatio("agent_idle_percent", test_support::Median(percents), 0.05);
  return 0;
}
