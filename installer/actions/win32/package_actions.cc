// The package's custom actions, in the Binary table of the Windows Installer
// package (never installed). EndAgents runs deferred, without impersonation,
// as LocalSystem in session 0: before the files are replaced or removed it
// ends every agent the documented way (installer/actions/agent_shutdown.h).
// SetInstallFolderText runs immediate, after the directories are resolved,
// and gives the Registry rows the install folder as the type library's
// registration spells it.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <wtsapi32.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/application/contract.h"
#include "common/win32/scoped_handle.h"
#include "common/win32/wide.h"
#include "installer/actions/agent_shutdown.h"
#include "installer/actions/folder_text.h"
#include "scheduler/shared/agent_session.h"

namespace {

// How long the package waits for the agents to leave their loops.
constexpr std::chrono::milliseconds kAgentShutdownLimit{30000};

struct MsiHandleTraits {
  using Handle = MSIHANDLE;
  static Handle NullHandle() { return 0; }
  static bool IsValid(Handle h) { return h != 0; }
  static void Close(Handle h) { ::MsiCloseHandle(h); }
};
using ScopedMsiHandle = win32::GenericScopedHandle<MsiHandleTraits>;

struct WtsMemoryTraits {
  using Handle = WTS_SESSION_INFOW*;
  static Handle NullHandle() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::WTSFreeMemory(h); }
};
using ScopedSessionList = win32::GenericScopedHandle<WtsMemoryTraits>;

class Win32UpdateEvent : public installer::UpdateEvent {
 public:
  explicit Win32UpdateEvent(HANDLE event) : event_(event) {}
  bool Set() override { return ::SetEvent(event_.Get()) != FALSE; }
  bool Reset() override { return ::ResetEvent(event_.Get()) != FALSE; }

 private:
  win32::ScopedHandle event_;
};

class Win32AgentShutdown : public installer::AgentShutdownPlatform {
 public:
  explicit Win32AgentShutdown(MSIHANDLE install) : install_(install) {}

  std::unique_ptr<installer::UpdateEvent> OpenUpdateEvent(std::uint32_t& error) override {
    const std::u16string name(application::kUpdateEventName);
    // EVENT_MODIFY_STATE is what SetEvent and ResetEvent need; the event's
    // DACL grants it to Administrators, whom LocalSystem belongs to.
    HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, win32::Wide(name));
    if (event == nullptr) {
      error = ::GetLastError();
      return nullptr;
    }
    return std::make_unique<Win32UpdateEvent>(event);
  }

  std::vector<std::uint32_t> SessionsWithAgent() override {
    std::vector<std::uint32_t> sessions;
    ScopedSessionList list;
    DWORD count = 0;
    if (!::WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, list.put(), &count)) return sessions;
    for (DWORD i = 0; i < count; ++i) {
      const DWORD session = list.Get()[i].SessionId;
      const std::u16string name = shared::AgentSessionMutexName(session);
      win32::ScopedHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, win32::Wide(name)));
      if (mutex) sessions.push_back(session);
    }
    return sessions;
  }

  std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }
  void Sleep(std::chrono::milliseconds pause) override { ::Sleep(static_cast<DWORD>(pause.count())); }

  void Log(const std::u16string& line) override {
    ScopedMsiHandle record(::MsiCreateRecord(1));
    if (!record) return;
    if (::MsiRecordSetStringW(record.Get(), 0, win32::Wide(line)) != ERROR_SUCCESS) return;
    ::MsiProcessMessage(install_, INSTALLMESSAGE_INFO, record.Get());
  }

 private:
  MSIHANDLE install_;
};

}  // namespace

// Deferred, no impersonation, no UI. Always succeeds: agents that outlive
// the wait keep their files in use, which the installer handles itself.
extern "C" UINT __stdcall EndAgents(MSIHANDLE install) {
  Win32AgentShutdown platform(install);
  installer::EndAgents(platform, kAgentShutdownLimit);
  return ERROR_SUCCESS;
}

// Immediate: QC_INSTALL_FOLDER_TEXT = INSTALLFOLDER without its trailing
// backslash. A failure fails the installation before anything is changed.
extern "C" UINT __stdcall SetInstallFolderText(MSIHANDLE install) {
  DWORD length = 0;
  wchar_t empty[1] = L"";
  UINT result = ::MsiGetPropertyW(install, L"INSTALLFOLDER", empty, &length);
  if (result != ERROR_MORE_DATA && result != ERROR_SUCCESS) return ERROR_INSTALL_FAILURE;
  std::wstring folder(static_cast<std::size_t>(length) + 1, L'\0');
  length = static_cast<DWORD>(folder.size());
  if (::MsiGetPropertyW(install, L"INSTALLFOLDER", folder.data(), &length) != ERROR_SUCCESS) {
    return ERROR_INSTALL_FAILURE;
  }
  folder.resize(length);
  const std::u16string text = installer::FolderText(std::u16string(folder.begin(), folder.end()));
  return ::MsiSetPropertyW(install, L"QC_INSTALL_FOLDER_TEXT", win32::Wide(text)) == ERROR_SUCCESS
             ? ERROR_SUCCESS
             : ERROR_INSTALL_FAILURE;
}
