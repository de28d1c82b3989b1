// What only a real Windows machine can show, for the test kit: the service
// started by the service control manager as LocalSystem in session 0 puts
// its agent into the console user's session with that user's token and
// environment; the update event it makes names LocalSystem as owner and
// still stops it; and the shell, asked for the context menu of real items,
// loads the registered handler and lists its item. Under Wine (one session,
// no service control manager of Windows, its own shell) each test skips.
#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <userenv.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/win32/scoped_handle.h"
#include "scanmenu/e2e/shell_host.h"
#include "support/win32/platform.h"
#include "support/win32/poll.h"
#include "support/win32/process_runner.h"
#include "support/win32/service_entry_probe.h"
#include "support/win32/stand_in_scanner.h"

namespace {

using test_support::PollFor;
using test_support::Quoted;
using test_support::SiblingPath;

constexpr wchar_t kUpdateEvent[] = L"Global\\Veltrane Scheduler Update";

std::wstring ImagePath(HANDLE process) {
  wchar_t path[MAX_PATH] = {};
  DWORD length = MAX_PATH;
  return QueryFullProcessImageNameW(process, 0, path, &length) ? std::wstring(path, length) : L"";
}

// The processes running `image` (a full path), found by their image name.
std::vector<DWORD> ProcessesOf(const std::wstring& image) {
  std::vector<DWORD> found;
  win32::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = snapshot && Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    win32::ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (process && _wcsicmp(ImagePath(process.get()).c_str(), image.c_str()) == 0) {
      found.push_back(entry.th32ProcessID);
    }
  }
  return found;
}

std::vector<BYTE> TokenUserOf(HANDLE token) {
  DWORD length = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &length);
  std::vector<BYTE> buffer(length);
  if (length == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), length, &length)) buffer.clear();
  return buffer;
}

bool SetSetting(const wchar_t* name, const wchar_t* text) {
  return RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Veltrane", name, REG_SZ, text,
                         static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

class WindowsOnlyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test_support::RunningUnderWine()) GTEST_SKIP() << "real Windows only: sessions, LocalSystem, the shell";
  }
  void TearDown() override {
    for (DWORD id : ProcessesOf(scheduler_)) {
      win32::ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
      if (process && TerminateProcess(process.get(), 0)) WaitForSingleObject(process.get(), 5000);
    }
    test_support::RemoveEntry();
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Veltrane");
  }

  // Installs scheduler.exe as the service (LocalSystem) and starts it.
  void InstallAndStartService() {
    ASSERT_TRUE(test_support::RemoveEntry());
    ASSERT_TRUE(test_support::CreateEntry(Quoted(scheduler_), L"Veltrane Scheduler"));
    win32::ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    win32::ScopedServiceHandle service(
        manager ? OpenServiceW(manager.get(), test_support::kSchedulerServiceName, SERVICE_START) : nullptr);
    ASSERT_TRUE(service && StartServiceW(service.get(), 0, nullptr)) << GetLastError();
  }

  const std::wstring scheduler_ = SiblingPath(L"scheduler.exe");
};

TEST_F(WindowsOnlyTest, ServiceStartsTheAgentInTheConsoleSessionAsTheConsoleUserWithTheUsersEnvironment) {
  // The console user runs this test: the agent must run as that user.
  if (!test_support::InConsoleSession()) GTEST_SKIP() << "run from the console, where the service puts the agent";
  const DWORD console = WTSGetActiveConsoleSessionId();
  // A daily run at midnight, last done long ago: the agent catches it up
  // about ten seconds after it starts, with the environment it was given.
  test_support::StandInScanner scanner(test_support::kSchedulerApplicationSubkey);
  ASSERT_TRUE(scanner.ok());
  ASSERT_TRUE(SetSetting(L"SchedulerWhen", L"daily"));
  ASSERT_TRUE(SetSetting(L"SchedulerAround", L"0:00"));
  ASSERT_TRUE(SetSetting(L"LastScan", L"2000-01-01 00:00:00"));
  InstallAndStartService();

  // The agent stops the service once it runs; then it is the one process
  // of the program left.
  ASSERT_TRUE(test_support::WaitForState(SERVICE_STOPPED, 30000)) << "no agent stopped the service";
  std::vector<DWORD> agents;
  ASSERT_TRUE(PollFor([&] { return (agents = ProcessesOf(scheduler_)).size() == 1; }, 10000, 100)) << agents.size();
  DWORD session = 0xFFFFFFFFu;
  ASSERT_TRUE(ProcessIdToSessionId(agents[0], &session)) << GetLastError();
  EXPECT_EQ(session, console);

  win32::ScopedHandle agent(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, agents[0]));
  HANDLE raw_token = nullptr;
  ASSERT_TRUE(agent && OpenProcessToken(agent.get(), TOKEN_QUERY, &raw_token)) << GetLastError();
  win32::ScopedHandle token(raw_token);
  HANDLE raw_own = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw_own));
  win32::ScopedHandle own(raw_own);
  const std::vector<BYTE> agent_user = TokenUserOf(token.get()), console_user = TokenUserOf(own.get());
  ASSERT_FALSE(agent_user.empty() || console_user.empty());
  EXPECT_TRUE(EqualSid(reinterpret_cast<const TOKEN_USER*>(agent_user.data())->User.Sid,
                       reinterpret_cast<const TOKEN_USER*>(console_user.data())->User.Sid));

  wchar_t profile[MAX_PATH] = {};
  DWORD profile_size = MAX_PATH;
  ASSERT_TRUE(GetUserProfileDirectoryW(token.get(), profile, &profile_size)) << GetLastError();
  ASSERT_EQ(scanner.WaitForLog(1, 30000).size(), 1u) << "the agent started no scan";
  EXPECT_EQ(scanner.LastUserProfile(), profile) << "the agent's environment is not its user's";
}

TEST_F(WindowsOnlyTest, ServiceNamesAdministratorsAsOwnerOfTheUpdateEventAndStopsWhenItIsSet) {
  ASSERT_TRUE(SetSetting(L"SchedulerWhen", L"startup"));  // a running service with no agent
  InstallAndStartService();
  ASSERT_TRUE(test_support::WaitForState(SERVICE_RUNNING, 15000)) << test_support::CurrentState();

  win32::ScopedHandle event(OpenEventW(READ_CONTROL | EVENT_MODIFY_STATE, FALSE, kUpdateEvent));
  ASSERT_TRUE(event) << GetLastError();
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR raw = nullptr;
  ASSERT_EQ(GetSecurityInfo(event.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                            nullptr, &raw),
            static_cast<DWORD>(ERROR_SUCCESS));
  win32::ScopedLocalMemory descriptor(raw);
  // Named by the service; on Windows only LocalSystem and elevated
  // administrators may name that owner.
  EXPECT_TRUE(IsWellKnownSid(owner, WinBuiltinAdministratorsSid));

  // The service took the event as its own: setting it stops the service.
  ASSERT_TRUE(SetEvent(event.get()));
  EXPECT_TRUE(test_support::WaitForState(SERVICE_STOPPED, 15000)) << test_support::CurrentState();
}

// The items of the shell's own context menu for `path`.
std::vector<std::wstring> ShellMenuTexts(const std::wstring& path) {
  std::vector<std::wstring> texts;
  PIDLIST_ABSOLUTE item = nullptr;
  if (FAILED(SHParseDisplayName(path.c_str(), nullptr, &item, 0, nullptr))) return texts;
  IShellFolder* parent = nullptr;
  PCUITEMID_CHILD child = nullptr;
  IContextMenu* menu = nullptr;
  if (SUCCEEDED(SHBindToParent(item, IID_IShellFolder, reinterpret_cast<void**>(&parent), &child))) {
    parent->GetUIObjectOf(nullptr, 1, &child, IID_IContextMenu, nullptr, reinterpret_cast<void**>(&menu));
    parent->Release();
  }
  HMENU popup = CreatePopupMenu();
  if (menu != nullptr && popup != nullptr && SUCCEEDED(menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL))) {
    for (int i = 0; i < GetMenuItemCount(popup); ++i) {
      wchar_t text[256] = {};
      if (GetMenuStringW(popup, i, text, 256, MF_BYPOSITION) > 0) texts.push_back(text);
    }
  }
  if (popup != nullptr) DestroyMenu(popup);
  if (menu != nullptr) menu->Release();
  CoTaskMemFree(item);
  return texts;
}

TEST_F(WindowsOnlyTest, ShellContextMenuOfAFileAFolderAndADriveListsTheRegisteredItem) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  {
    shell_host::TempFolder folder(L"Kit Menu Check");
    const std::wstring file = folder.AddFile(L"sample file.txt");
    wchar_t windows[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 2u);
    const std::wstring drive = std::wstring(windows, 3);  // "C:\"
    shell_host::ClassRegistration registration;
    ASSERT_TRUE(registration.ok());
    for (const std::wstring& path : {file, folder.path(), drive}) {
      const std::vector<std::wstring> texts = ShellMenuTexts(path);
      EXPECT_EQ(std::count(texts.begin(), texts.end(), L"Scan with Quenor Clean"), 1) << "menu of " << path;
    }
  }
  CoUninitialize();
}

}  // namespace
