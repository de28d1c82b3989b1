// The demonstration behind `make demo`: both deliverables doing their main
// job under Wine, with a stand-in scanner that records how it is started.
//   1. scheduler.exe /install, then the service starts the agent, and the
//      agent catches up a missed daily scan about ten seconds later;
//   2. regsvr32 registers Scanmenu.dll, the shell's calls build the context
//      menu for two files, and choosing the item starts a scan of both.
// Everything it sets up is removed again at the end.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "scanmenu/e2e/shell_host.h"
#include "support/win32/message_box_answerer.h"
#include "support/win32/process_runner.h"
#include "support/win32/stand_in_scanner.h"

namespace {

using test_support::Quoted;
using test_support::SiblingPath;
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
         key.WriteText(u"LastScan", reinterpret_cast<const char16_t*>(last_scan.c_str())) == ERROR_SUCCESS;
}

void RemoveSchedule() { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Veltrane"); }

bool RunSchedulerSwitch(const wchar_t* which) {
  const std::wstring command = Quoted(SiblingPath(L"scheduler.exe")) + L" " + which;
  Say(L"> scheduler.exe " + std::wstring(which));
  const auto run = test_support::RunAnsweringMessageBoxes(command, L"Veltrane", 60000);
  for (const auto& box : run.boxes) Say(L"  message box \"" + box.caption + L"\": " + box.text);
  return run.process.started && !run.process.timed_out && !run.boxes.empty();
}

bool StartSchedulerService() {
  win32::ScopedServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  win32::ScopedServiceHandle service(::OpenServiceW(manager.Get(), L"VeltraneScheduler", SERVICE_START));
  return service && ::StartServiceW(service.Get(), 0, nullptr);
}

int ScheduledScan() {
  Say(L"== Scheduled scan ==");
  test_support::StandInScanner scanner(test_support::kSchedulerApplicationSubkey);
  if (!scanner.ok() || !WriteSchedule()) {
    Say(L"could not prepare the stand-in scanner or the schedule");
    return 1;
  }
  Say(L"stand-in scanner: " + scanner.path());
  Say(L"schedule: daily around 0:00, quick; last scan two days ago");
  int status = 0;
  if (!RunSchedulerSwitch(L"/install") || !StartSchedulerService()) {
    Say(L"the service could not be installed and started");
    status = 1;
  } else {
    Say(L"service started; it starts the agent, which catches up the missed scan...");
    const auto log = scanner.WaitForLog(1, 45000);
    if (log.empty()) {
      Say(L"no scan was started within 45 s");
      status = 1;
    } else {
      Say(L"the scanner was started with: " + log.front());
    }
  }
  RunSchedulerSwitch(L"/uninstall");
  RemoveSchedule();
  return status;
}

int ContextMenuScan() {
  Say(L"");
  Say(L"== Context-menu scan ==");
  test_support::StandInScanner scanner(test_support::kScanmenuApplicationSubkey);
  if (!scanner.ok()) return 1;
  const std::wstring dll = Quoted(SiblingPath(L"Scanmenu.dll"));
  const auto registered = test_support::RunProcess(L"regsvr32.exe /s " + dll, 60000);
  Say(L"> regsvr32 /s Scanmenu.dll: exit code " + std::to_wstring(registered.exit_code));
  if (!registered.started || registered.exit_code != 0) return 1;

  int status = 1;
  if (SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    shell_host::TempFolder folder(L"Demo Documents");
    const std::vector<std::wstring> selection = {folder.AddFile(L"report 2026.docx"),
                                                 folder.AddFile(L"holiday photo.jpg")};
    IContextMenu* menu = shell_host::NewContextMenu(selection);
    HMENU popup = ::CreatePopupMenu();
    if (menu && popup && SUCCEEDED(menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL))) {
      wchar_t text[64] = {};
      ::GetMenuStringW(popup, 0, text, 64, MF_BYPOSITION);
      Say(std::wstring(L"context menu for 2 files shows: \"") + text + L"\"");
      Say(L"choosing it...");
      if (shell_host::InvokeItem(menu) == S_OK) {
        const auto log = scanner.WaitForLog(1, 20000);
        if (!log.empty()) {
          Say(L"the scanner was started with: " + log.front());
          const std::string list =
              shell_host::ReadFileBytes(shell_host::TempDirectory() + L"quenorclean.filelist");
          Say(L"the list file holds (UTF-16LE, one path a line):");
          Say(std::wstring(reinterpret_cast<const wchar_t*>(list.data()), list.size() / sizeof(wchar_t)));
          status = 0;
        }
      }
    }
    if (popup) ::DestroyMenu(popup);
    if (menu) menu->Release();
    ::CoUninitialize();
  }
  const auto removed = test_support::RunProcess(L"regsvr32.exe /s /u " + dll, 60000);
  Say(L"> regsvr32 /s /u Scanmenu.dll: exit code " + std::to_wstring(removed.exit_code));
  return status;
}

}  // namespace

int wmain() {
  const int scheduled = ScheduledScan();
  const int menu = ContextMenuScan();
  Say(scheduled == 0 && menu == 0 ? L"\ndemo finished: both scans reached the scanner"
                                  : L"\ndemo failed");
  return scheduled == 0 && menu == 0 ? 0 : 1;
}
