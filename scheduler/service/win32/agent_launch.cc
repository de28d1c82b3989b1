#include "scheduler/service/win32/agent_launch.h"

#include <string>

#include "common/trace/trace.h"
#include "common/win32/module_path.h"
#include "common/win32/scoped_handle.h"
#include "common/win32/system32_functions.h"
#include "common/win32/wide.h"
#include "scheduler/service/agent_launcher.h"
#include "scheduler/shared/win32/agent_session.h"
#include "scheduler/shared/win32/user_process.h"

namespace service {
namespace {

class Win32StartedAgent final : public StartedAgent {
 public:
  explicit Win32StartedAgent(HANDLE process) : process_(process) {}
  bool WaitForExit(std::chrono::milliseconds timeout) override {
    return WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) != WAIT_TIMEOUT;
  }

 private:
  win32::ScopedHandle process_;
};

// "DOMAIN\name" of the user logged on in the session, from the terminal
// services' own record (no account lookup that could reach a domain
// controller); empty when unknown.
std::u16string SessionUserName(DWORD session) {
  const auto query = [session](WTS_INFO_CLASS what) {
    LPWSTR text = nullptr;
    DWORD bytes = 0;
    std::u16string value;
    if (win32::system32::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, what, &text, &bytes) &&
        text != nullptr) {
      value = win32::FromWide(text);
    }
    if (text != nullptr) win32::system32::WTSFreeMemory(text);
    return value;
  };
  const std::u16string user = query(WTSUserName);
  const std::u16string domain = query(WTSDomainName);
  return domain.empty() || user.empty() ? user : domain + u"\\" + user;
}

class Win32Sessions final : public AgentLaunchPlatform {
 public:
  bool IsAgentInSession(std::uint32_t session) override { return shared::IsAgentInSession(session); }

  std::unique_ptr<StartedAgent> StartAgent(std::uint32_t session, events::AgentStart& outcome) override {
    win32::ScopedHandle process = StartUserModeInSession(session, outcome);
    if (!process) return nullptr;
    // Kept only for the hand-off; the service does not follow the agent after it.
    return std::make_unique<Win32StartedAgent>(process.release());
  }
};

Win32Sessions& Sessions() {
  static Win32Sessions sessions;
  return sessions;
}

AgentLauncher& Launcher() {
  static AgentLauncher launcher(Sessions());
  return launcher;
}

}  // namespace

win32::ScopedHandle StartUserModeInSession(DWORD session, events::AgentStart& outcome) {
  win32::ScopedHandle token(GetSessionUserToken(session));
  if (!token) {
    outcome.result = events::AgentStart::Result::kNoUserToken;
    outcome.error = GetLastError();
    return {};
  }
  outcome.user = SessionUserName(session);

  outcome.result = events::AgentStart::Result::kNoProcess;
  wchar_t own_path[MAX_PATH] = {};
  DWORD length = 0;
  if (const DWORD error = win32::ModuleFileName(nullptr, own_path, length); error != ERROR_SUCCESS) {
    outcome.error = error;
    return {};
  }
  std::u16string command_line = AgentCommandLine(win32::Utf16(own_path));

  // A new console, normal priority, nothing inherited, the user's environment.
  PROCESS_INFORMATION process = {};
  if (!shared::CreateUserProcess(token.get(), command_line, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, process)) {
    outcome.error = GetLastError();
    return {};
  }
  outcome.result = events::AgentStart::Result::kStarted;
  outcome.process_id = process.dwProcessId;
  win32::ScopedHandle thread(process.hThread);
  trace::Trace("%ws started with PID %u\r\n", win32::Utf16(own_path), static_cast<unsigned>(process.dwProcessId));
  return win32::ScopedHandle(process.hProcess);
}

win32::ScopedHandle GetSessionUserToken(DWORD session) {
  win32::ScopedHandle token;
  if (!win32::system32::WTSQueryUserToken(session, token.put())) {
    const DWORD error = GetLastError();
    trace::Trace("WTSQueryUserToken(%u) failed: %u\r\n", static_cast<unsigned>(session), static_cast<unsigned>(error));
    SetLastError(error);  // for the caller's report
    return {};
  }

  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(&version)) return {};
#pragma GCC diagnostic pop
  if (version.dwMajorVersion < 6) return token;

  // An administrator's session runs filtered; the linked token is the full one.
  TOKEN_LINKED_TOKEN linked = {};
  DWORD length = 0;
  if (GetTokenInformation(token.get(), TokenLinkedToken, &linked, sizeof linked, &length)) {
    return win32::ScopedHandle(linked.LinkedToken);
  }
  if (GetLastError() == ERROR_NO_SUCH_LOGON_SESSION) return token;
  return {};
}

bool LaunchAgentInSession(DWORD session) { return Launcher().LaunchAgentInSession(session); }

}  // namespace service
