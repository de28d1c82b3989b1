// The package's custom actions, in the Binary table of the Windows Installer
// package (never installed). EndAgents runs deferred, without impersonation,
// as LocalSystem in session 0: before the files are replaced or removed it
// ends the service and every agent the documented way and waits for their
// processes (installer/actions/agent_shutdown.h); StartServiceOnRollback,
// sequenced just before it, starts the service again when a failed
// installation rolls back. SetInstallFolderText runs immediate, after the
// directories are resolved, and gives the Registry rows the install folder
// as the type library's registration spells it.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/application/contract.h"
#include "common/win32/scoped_handle.h"
#include "common/win32/wide.h"
#include "installer/actions/agent_shutdown.h"
#include "installer/actions/folder_text.h"
#include "installer/actions/win32/installer_log.h"
#include "scheduler/shared/object_owner.h"
#include "scheduler/shared/win32/object_owner.h"
#include "scheduler/shared/win32/service_control.h"

namespace {

// How long the package waits for the agents to leave their loops.
constexpr std::chrono::milliseconds kAgentShutdownLimit{30000};

// Whether two file names are equal as the file system compares them.
bool SameName(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool HasTrustedOwner(HANDLE object) {
  const std::optional<std::u16string> owner = shared::ObjectOwnerSid(object);
  return owner && shared::IsTrustedOwner(*owner);
}

class Win32UpdateEvent : public installer::UpdateEvent {
 public:
  explicit Win32UpdateEvent(win32::ScopedHandle event) : event_(std::move(event)) {}
  bool Set() override { return ::SetEvent(event_.get()) != FALSE; }
  bool Reset() override { return ::ResetEvent(event_.get()) != FALSE; }

 private:
  win32::ScopedHandle event_;
};

class Win32AgentShutdown : public installer::AgentShutdownPlatform {
 public:
  // `program` is the installed scheduler.exe's full path.
  Win32AgentShutdown(MSIHANDLE install, std::wstring program) : install_(install), program_(std::move(program)) {}

  std::unique_ptr<installer::UpdateEvent> OpenUpdateEvent(std::uint32_t& error) override {
    const std::u16string name(application::kUpdateEventName);
    // EVENT_MODIFY_STATE is what SetEvent and ResetEvent need, READ_CONTROL
    // what reading the owner needs; the event's DACL grants both to
    // Administrators, whom LocalSystem belongs to.
    win32::ScopedHandle event(::OpenEventW(EVENT_MODIFY_STATE | READ_CONTROL, FALSE, win32::Wide(name)));
    if (!event) {
      error = ::GetLastError();
      return nullptr;
    }
    // An event made first by anyone else is not ours to set.
    if (!HasTrustedOwner(event.get())) {
      error = ERROR_ACCESS_DENIED;
      return nullptr;
    }
    return std::make_unique<Win32UpdateEvent>(std::move(event));
  }

  std::size_t OpenSchedulerProcesses() override {
    processes_.clear();
    if (program_.empty()) return 0;
    win32::ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    const std::wstring base = program_.substr(program_.find_last_of(L'\\') + 1);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
      if (!SameName(entry.szExeFile, base)) continue;
      win32::ScopedHandle process(
          ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | READ_CONTROL, FALSE, entry.th32ProcessID));
      if (!process) continue;
      std::wstring path(MAX_PATH * 4, L'\0');
      DWORD length = static_cast<DWORD>(path.size());
      if (!::QueryFullProcessImageNameW(process.get(), 0, path.data(), &length)) continue;
      path.resize(length);
      // Another program of that name, or one started from the folder by a
      // user who is no elevated administrator: not ours to wait for.
      if (!SameName(path, program_) || !HasTrustedOwner(process.get())) continue;
      processes_.push_back(std::move(process));
    }
    return processes_.size();
  }

  std::size_t WaitForSchedulerProcesses(std::chrono::milliseconds limit) override {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::size_t left = 0;
    for (const win32::ScopedHandle& process : processes_) {
      const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::max(deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero()));
      if (::WaitForSingleObject(process.get(), static_cast<DWORD>(remaining.count())) != WAIT_OBJECT_0) ++left;
    }
    processes_.clear();
    return left;
  }

  void Log(const std::u16string& line) override { installer::LogLine(install_, line); }

 private:
  MSIHANDLE install_;
  std::wstring program_;
  std::vector<win32::ScopedHandle> processes_;
};

// A property's value; empty when it cannot be read.
std::wstring Property(MSIHANDLE install, const wchar_t* name) {
  DWORD length = 0;
  wchar_t empty[1] = L"";
  const UINT result = ::MsiGetPropertyW(install, name, empty, &length);
  if (result != ERROR_MORE_DATA && result != ERROR_SUCCESS) return {};
  std::wstring value(static_cast<std::size_t>(length) + 1, L'\0');
  length = static_cast<DWORD>(value.size());
  if (::MsiGetPropertyW(install, name, value.data(), &length) != ERROR_SUCCESS) return {};
  value.resize(length);
  return value;
}

}  // namespace

// Deferred, no impersonation, no UI. Its CustomActionData is the install
// folder. Always succeeds: processes that outlive the wait keep their files
// in use, which the installer handles itself.
extern "C" UINT __stdcall EndAgents(MSIHANDLE install) {
  const std::wstring folder = Property(install, L"CustomActionData");
  Win32AgentShutdown platform(install, folder.empty() ? std::wstring() : folder + L"scheduler.exe");
  installer::EndAgents(platform, kAgentShutdownLimit);
  return ERROR_SUCCESS;
}

// Rollback, no impersonation: the installation that EndAgents began failed,
// and the service it ended runs again (it brings the agents back). Without
// a service entry (a first install rolled back) there is nothing to start.
extern "C" UINT __stdcall StartServiceOnRollback(MSIHANDLE install) {
  installer::LogLine(install, shared::StartSchedulerService(false) ? u"StartServiceOnRollback: the service runs"
                                                                   : u"StartServiceOnRollback: no service to start");
  return ERROR_SUCCESS;
}

// Immediate: kFolderTextProperty = INSTALLFOLDER without its trailing
// backslash. A failure fails the installation before anything is changed.
extern "C" UINT __stdcall SetInstallFolderText(MSIHANDLE install) {
  const std::wstring folder = Property(install, L"INSTALLFOLDER");
  if (folder.empty()) return ERROR_INSTALL_FAILURE;
  const std::u16string text = installer::FolderText(std::u16string(folder.begin(), folder.end()));
  return ::MsiSetPropertyW(install, installer::kFolderTextProperty, win32::Wide(text)) == ERROR_SUCCESS
             ? ERROR_SUCCESS
             : ERROR_INSTALL_FAILURE;
}
