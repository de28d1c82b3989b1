#include "scheduler/agent/win32/fault_filter.h"

#include <windows.h>
#include <process.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iterator>
#include <string>

#include "common/trace/trace.h"
#include "common/win32/scoped_handle.h"
#include "common/win32/wide.h"
#include "scheduler/agent/fault_end.h"
#include "scheduler/agent/win32/event_window.h"
#include "scheduler/events/scheduler_events.h"
#include "scheduler/shared/agent_session.h"
#include "scheduler/shared/win32/service_control.h"

// WerSetFlags (kernel32), declared here: the toolchain's werapi.h does not
// compile on its own, and it lacks the flags (below).
extern "C" HRESULT WINAPI WerSetFlags(DWORD flags);

namespace agent {
namespace {

// WER_FAULT_REPORTING_FLAG_QUEUE: a critical report of this process is
// queued, and no error-reporting window is shown.
constexpr DWORD kWerFaultReportingFlagQueue = 0x2;

// Stack kept back for the filter when the fault is a stack overflow: enough
// for the calls into the service control manager.
constexpr ULONG kStackGuaranteeBytes = 64 * 1024;

// The exit code of an agent ended by abort(), as the runtime's own abort
// gives it.
constexpr std::uint32_t kAbortExitCode = 3;

// What the filter works with is made before it can run: a host without
// state and the fault end with the start time.
// The fault's address, kept by the filter for the report (0 after abort()).
std::uint64_t g_fault_address = 0;

// The longest the fault's end waits for its event: the report allocates and
// calls the Event Log, which may need a lock the faulting thread holds, so it
// runs on a thread of its own and is given up on after this.
constexpr DWORD kFaultReportWaitMs = 3000;

struct FaultReport {
  std::uint32_t code;
  bool brought_back;
};
FaultReport g_fault_report = {};

unsigned __stdcall ReportFaultThread(void*) {
  events::AgentFault(g_fault_report.code, g_fault_address, g_fault_report.brought_back);
  return 0;
}

// The name of this session's agent mutex, made before any fault: the fault's
// end looks for the next agent by it without allocating.
wchar_t g_session_mutex_name[64] = {};

class Win32FaultEndHost final : public FaultEndHost {
 public:
  void ReportFault(std::uint32_t code, bool brought_back) override {
    g_fault_report = {code, brought_back};
    // _beginthreadex, not CreateThread, so that the C runtime sets up the
    // thread's own data for the report's allocations; it answers 0 on failure.
    const win32::ScopedHandle thread(
        reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &ReportFaultThread, nullptr, 0, nullptr)));
    if (!thread) return;
    ::WaitForSingleObject(thread.get(), kFaultReportWaitMs);
  }
  void ReleaseSession() override { CloseSessionMutex(); }
  void StartService() override { shared::StartSchedulerService(false); }
  bool ServiceStopped() override { return shared::IsSchedulerServiceStopped(); }
  bool SessionServed() override {
    if (g_session_mutex_name[0] == L'\0') return false;
    const win32::ScopedHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, g_session_mutex_name));
    return static_cast<bool>(mutex);
  }
  void Pause(std::chrono::milliseconds time) override { ::Sleep(static_cast<DWORD>(time.count())); }
  // Unlike ExitProcess, TerminateProcess runs no DLL detach code, which
  // could wait for a lock that the faulting thread holds.
  void EndProcess(std::uint32_t exit_code) override { ::TerminateProcess(::GetCurrentProcess(), exit_code); }
  void WaitForEnd() override { ::Sleep(INFINITE); }
};

Win32FaultEndHost g_host;
FaultEnd g_fault_end;

std::chrono::milliseconds Now() { return std::chrono::milliseconds(::GetTickCount64()); }

void OnFault(std::uint32_t code) {
  g_fault_end.OnFault(g_host, code, static_cast<std::uint32_t>(::GetCurrentThreadId()), Now());
}

LONG WINAPI AgentFaultFilter(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers != nullptr ? pointers->ExceptionRecord : nullptr;
  if (record != nullptr) g_fault_address = reinterpret_cast<std::uintptr_t>(record->ExceptionAddress);
  OnFault(record != nullptr ? static_cast<std::uint32_t>(record->ExceptionCode) : EXCEPTION_NONCONTINUABLE_EXCEPTION);
  // Not reached: the process has ended. Should it ever be, the default
  // handling ends the process without a window (SEM_NOGPFAULTERRORBOX).
  return EXCEPTION_EXECUTE_HANDLER;
}

// abort(), directly or through std::terminate, raises SIGABRT before it ends
// the process; its message goes to the standard error the agent does not have.
void OnAbort(int) { OnFault(kAbortExitCode); }

}  // namespace

void InstallFaultFilter() {
  g_fault_end.Start(Now());
  DWORD session = 0;
  if (::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) {
    const std::u16string name = shared::AgentSessionMutexName(session);
    if (name.size() < std::size(g_session_mutex_name)) name.copy(win32::Utf16(g_session_mutex_name), name.size());
  }
  // No critical-error box, and no error reporting when an exception reaches
  // the system's default handling; the scans the agent starts get the default
  // mode back (CREATE_DEFAULT_ERROR_MODE).
  ::SetErrorMode(::GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  // No error-reporting window either for a failure that bypasses every
  // handler (a fail-fast, a corrupted heap): the agent then ends without one,
  // and is not brought back.
  const HRESULT wer = ::WerSetFlags(kWerFaultReportingFlagQueue);
  if (FAILED(wer)) trace::Trace("WerSetFlags failed: 0x%08x\r\n", static_cast<unsigned>(wer));
  ULONG guarantee = kStackGuaranteeBytes;
  if (!::SetThreadStackGuarantee(&guarantee)) {
    trace::Trace("SetThreadStackGuarantee failed: %u\r\n", static_cast<unsigned>(::GetLastError()));
  }
  _set_error_mode(_OUT_TO_STDERR);
  std::signal(SIGABRT, &OnAbort);
  ::SetUnhandledExceptionFilter(&AgentFaultFilter);
}

void EndFaultRecovery() { g_fault_end.EndTurn(); }

}  // namespace agent
