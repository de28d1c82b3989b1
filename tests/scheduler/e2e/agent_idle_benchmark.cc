// Benchmark: the processor time an idle agent takes. Starts scheduler.exe
// /user beside this program (no schedule, so only its one-second tick wakes
// it), lets it settle, and measures its user and kernel time over a minute.
// Prints one line "agent idle: <ms> ms CPU over <s> s (<percent>%)".
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "common/win32/scoped_handle.h"

namespace {

ULONGLONG CpuTicks(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  const ULONGLONG k = (ULONGLONG{kernel.dwHighDateTime} << 32) | kernel.dwLowDateTime;
  const ULONGLONG u = (ULONGLONG{user.dwHighDateTime} << 32) | user.dwLowDateTime;
  return k + u;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const DWORD seconds = argc > 1 ? static_cast<DWORD>(_wtoi(argv[1])) : 60;
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
  if (WaitForSingleObject(agent.Get(), 0) != WAIT_TIMEOUT) {
    std::fprintf(stderr, "the agent ended early\n");
    return 1;
  }
  const ULONGLONG before = CpuTicks(agent.Get());
  Sleep(seconds * 1000);
  const ULONGLONG after = CpuTicks(agent.Get());
  const bool still_running = WaitForSingleObject(agent.Get(), 0) == WAIT_TIMEOUT;
  TerminateProcess(agent.Get(), 0);
  WaitForSingleObject(agent.Get(), 5000);
  if (!still_running) {
    std::fprintf(stderr, "the agent ended during the measurement\n");
    return 1;
  }
  const double cpu_ms = static_cast<double>(after - before) / 10000.0;
  std::printf("agent idle: %.1f ms CPU over %lu s (%.3f%%)\n", cpu_ms, seconds, cpu_ms / (seconds * 10.0));
  return 0;
}
