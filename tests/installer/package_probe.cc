// What the package test asks of the installed system from inside the Wine
// prefix, one question per run; exit code 0 means yes.
//   package_probe agent     an agent holds this session's mutex (within 30 s)
//   package_probe no-agent  no agent is left in this session (within 30 s)
//   package_probe menu      a context-menu request for a file reaches the
//                           stand-in scanner through COM alone, served by the
//                           Scanmenu.dll of the install folder
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "common/win32/scoped_handle.h"
#include "common/win32/wide.h"
#include "scanmenu/e2e/shell_host.h"
#include "scheduler/shared/agent_session.h"
#include "support/win32/poll.h"
#include "support/win32/process_runner.h"
#include "support/win32/stand_in_scanner.h"

namespace {

bool AgentInThisSession() {
  DWORD session = 0;
  if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) return false;
  const std::u16string name = shared::AgentSessionMutexName(session);
  win32::ScopedHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, win32::Wide(name)));
  return static_cast<bool>(mutex);
}

bool MenuRequestReachesTheScanner(const std::wstring& install_folder) {
  test_support::StandInScanner scanner(test_support::kScanmenuApplicationSubkey);
  if (!scanner.ok() || FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return false;
  bool reached = false;
  {
    shell_host::TempFolder folder(L"Package Probe");
    const std::wstring file = folder.AddFile(L"installed by the package.txt");
    Microsoft::WRL::ComPtr<IContextMenu> menu = shell_host::NewContextMenu({file});
    wchar_t loaded[MAX_PATH] = {};
    ::GetModuleFileNameW(::GetModuleHandleW(L"Scanmenu.dll"), loaded, MAX_PATH);
    HMENU popup = ::CreatePopupMenu();
    if (menu && popup != nullptr && SUCCEEDED(menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL)) &&
        shell_host::InvokeItem(menu.Get()) == S_OK) {
      const auto log = scanner.WaitForLog(1, 20000);
      reached = log.size() == 1 && log.front().find(file) != std::wstring::npos &&
                ::lstrcmpiW(loaded, (install_folder + L"\\Scanmenu.dll").c_str()) == 0;
    }
    if (popup != nullptr) ::DestroyMenu(popup);
  }
  ::CoUninitialize();
  return reached;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring question = argc > 1 ? argv[1] : L"";
  bool yes = false;
  if (question == L"agent") {
    yes = test_support::PollFor([] { return AgentInThisSession(); }, 30000);
  } else if (question == L"no-agent") {
    yes = test_support::PollFor([] { return !AgentInThisSession(); }, 30000);
  } else if (question == L"menu" && argc > 2) {
    yes = MenuRequestReachesTheScanner(argv[2]);
  } else {
    return 2;
  }
  std::printf("%s: %s\n", test_support::ToUtf8(question).c_str(), yes ? "yes" : "no");
  return yes ? 0 : 1;
}
