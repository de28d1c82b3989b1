// The demonstration behind `make demo`: both deliverables doing their main
// job under Wine, with a stand-in scanner that records how it is started.
//   demo.exe PACKAGE.msi
//   0. msiexec installs the package, silently, as a fleet deploys it;
//   1. the service it started starts the agent, and the agent catches up a
//      missed daily scan about ten seconds later;
//   2. with the package's registration, the shell's calls build the context
//      menu for two files, and choosing the item starts a scan of both.
//   3. the package registered the 32-bit Scanmenu.dll too, in the 32-bit
//      registry view, for the file dialogs of 32-bit programs.
// Everything it sets up is removed again at the end, the package with
// msiexec /x.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "common/win32/registry_key.h"
#include "common/win32/wide.h"
#include "scanmenu/e2e/shell_host.h"
#include "scanmenu/module/registration_text.h"
#include "support/win32/process_runner.h"
#include "support/win32/stand_in_scanner.h"

namespace {

using test_support::Quoted;
using test_support::ToUtf8;

void Say(const std::wstring& text) {
  std::printf("%s\n", ToUtf8(text).c_str());
  std::fflush(stdout);
}

std::wstring Timestamp(std::time_t when) {
  std::tm local{};
  localtime_s(&local, &when);
  wchar_t text[32];
  std::wcsftime(text, 32, L"%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// The schedule of a user who chose a daily quick scan at midnight and whose
// last scan was two days ago: a missed run that the agent catches up.
bool WriteSchedule() {
  win32::RegistryKey key;
  if (key.Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Veltrane", KEY_SET_VALUE) != ERROR_SUCCESS) return false;
  const std::wstring last_scan = Timestamp(std::time(nullptr) - 2 * 24 * 3600);
  return key.WriteText(u"SchedulerWhen", u"daily") == ERROR_SUCCESS &&
         key.WriteText(u"SchedulerAround", u"0:00") == ERROR_SUCCESS &&
         key.WriteText(u"SchedulerScanType", u"quick") == ERROR_SUCCESS &&
         key.WriteText(u"LastScan", win32::Utf16(last_scan.c_str())) == ERROR_SUCCESS;
}

void RemoveSchedule() { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Veltrane"); }

// msiexec with `switches` on the package, silent; true when it exits with 0.
bool RunMsiexec(const std::wstring& switches, const std::wstring& package) {
  const auto run = test_support::RunProcess(L"msiexec.exe " + switches + L" " + Quoted(package) + L" /qn", 180000);
  Say(L"> msiexec " + switches + L" <package> /qn: exit code " + std::to_wstring(run.exit_code));
  return run.started && !run.timed_out && run.exit_code == 0;
}

int ScheduledScan(const test_support::StandInScanner& scanner) {
  Say(L"== Scheduled scan ==");
  Say(L"stand-in scanner: " + scanner.path());
  Say(L"schedule: daily around 0:00, quick; last scan two days ago");
  Say(L"the package started the service; it starts the agent, which catches up the missed scan...");
  const auto log = scanner.WaitForLog(1, 45000);
  if (log.empty()) {
    Say(L"no scan was started within 45 s");
    return 1;
  }
  Say(L"the scanner was started with: " + log.front());
  return 0;
}

int ContextMenuScan(const test_support::StandInScanner& scanner) {
  Say(L"");
  Say(L"== Context-menu scan ==");
  Say(L"Scanmenu.dll is registered by the package alone");
  int status = 1;
  if (SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    shell_host::TempFolder folder(L"Demo Documents");
    const std::vector<std::wstring> selection = {folder.AddFile(L"report 2026.docx"),
                                                 folder.AddFile(L"holiday photo.jpg")};
    Microsoft::WRL::ComPtr<IContextMenu> menu = shell_host::NewContextMenu(selection);
    HMENU popup = ::CreatePopupMenu();
    if (menu && popup && SUCCEEDED(menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL))) {
      wchar_t text[64] = {};
      ::GetMenuStringW(popup, 0, text, 64, MF_BYPOSITION);
      Say(std::wstring(L"context menu for 2 files shows: \"") + text + L"\"");
      Say(L"choosing it...");
      if (shell_host::InvokeItem(menu.Get()) == S_OK) {
        const auto log = scanner.WaitForLog(1, 20000);
        if (!log.empty()) {
          Say(L"the scanner was started with: " + log.front());
          const std::string list = shell_host::ReadFileBytes(shell_host::TempDirectory() + L"quenorclean.filelist");
          Say(L"the list file holds (UTF-16LE, one path a line):");
          Say(std::wstring(reinterpret_cast<const wchar_t*>(list.data()), list.size() / sizeof(wchar_t)));
          status = 0;
        }
      }
    }
    if (popup) ::DestroyMenu(popup);
    menu.Reset();
    ::CoUninitialize();
  }
  return status;
}

// The 32-bit copy, as the package registered it in the 32-bit registry view,
// where the file dialogs of 32-bit programs look for the class.
int X86Copy() {
  Say(L"");
  Say(L"== The item in 32-bit programs' file dialogs ==");
  win32::RegistryKey key;
  const std::u16string server = u"CLSID\\" + std::u16string(scanmenu::kHandlerClassIdText) + u"\\InprocServer32";
  std::optional<std::u16string> path;
  if (key.Open(HKEY_CLASSES_ROOT, server, KEY_QUERY_VALUE | KEY_WOW64_32KEY) == ERROR_SUCCESS) {
    path = key.ReadText(u"", MAX_PATH * sizeof(wchar_t));
  }
  const std::wstring text = path ? std::wstring(win32::Wide(*path)) : std::wstring();
  const bool beside = text.size() > 17 && ::_wcsicmp(text.c_str() + text.size() - 17, L"\\x86\\Scanmenu.dll") == 0 &&
                      ::GetFileAttributesW(text.c_str()) != INVALID_FILE_ATTRIBUTES;
  Say(beside ? L"the package registered the 32-bit Scanmenu.dll in the 32-bit registry view: " + text
             : L"the 32-bit Scanmenu.dll is not registered in the 32-bit registry view");
  if (beside) Say(L"(make test drives it from a 32-bit shell host: scanmenu_x86_shell_host_tests)");
  return beside ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    Say(L"usage: demo PACKAGE.msi");
    return 2;
  }
  const std::wstring package = argv[1];
  test_support::StandInScanner scheduler_scanner(test_support::kSchedulerApplicationSubkey);
  test_support::StandInScanner menu_scanner(test_support::kScanmenuApplicationSubkey);
  if (!scheduler_scanner.ok() || !menu_scanner.ok() || !WriteSchedule()) {
    Say(L"could not prepare the stand-in scanners or the schedule");
    RemoveSchedule();
    return 1;
  }
  int scheduled = 1;
  int menu = 1;
  int x86 = 1;
  if (RunMsiexec(L"/i", package)) {
    scheduled = ScheduledScan(scheduler_scanner);
    menu = ContextMenuScan(menu_scanner);
    x86 = X86Copy();
  } else {
    Say(L"the package could not be installed");
  }
  const bool removed = RunMsiexec(L"/x", package);
  RemoveSchedule();
  const bool ok = scheduled == 0 && menu == 0 && x86 == 0 && removed;
  Say(ok ? L"\ndemo finished: both scans reached the scanner, and the package is removed again" : L"\ndemo failed");
  return ok ? 0 : 1;
}
