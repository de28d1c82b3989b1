// The texts of Scanmenu.dll and scheduler.exe in the display language this
// process runs with:
//   display_language_probe.exe LANGID
// The item, its help text, the Windows 11 command's title and the box of
// scheduler.exe /uninstall (with no service, a success) must each be the
// binary's own string of language LANGID (hexadecimal), read from its
// resources by that language, and the owner-drawn item must be measured by
// that text. Prints what differs; exit code 0 when nothing does.
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>

#include "scanmenu/e2e/shell_host.h"
#include "scanmenu/resources/resource_ids.h"
#include "scanmenu_idl.h"
#include "scheduler/program/win32/scheduler_resource_ids.h"
#include "support/win32/message_box_answerer.h"
#include "support/win32/process_runner.h"

namespace {

// String `id` of `module` in exactly `language`, from its block of sixteen.
std::wstring StringIn(HMODULE module, UINT id, LANGID language) {
  HRSRC found = ::FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
  const auto* entry =
      found != nullptr ? static_cast<const WCHAR*>(::LockResource(::LoadResource(module, found))) : nullptr;
  if (entry == nullptr) return L"<none>";
  for (UINT skip = id % 16; skip > 0; --skip) entry += *entry + 1;
  return std::wstring(entry + 1, *entry);
}

int failures = 0;
void Expect(const wchar_t* what, const std::wstring& seen, const std::wstring& wanted) {
  if (seen != wanted) std::printf("%ls: \"%ls\", wanted \"%ls\"\n", what, seen.c_str(), wanted.c_str());
  failures += seen != wanted;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const LANGID language = argc == 2 ? static_cast<LANGID>(std::wcstoul(argv[1], nullptr, 16)) : 0;
  HMODULE library = ::LoadLibraryW(test_support::SiblingPath(L"Scanmenu.dll").c_str());
  if (language == 0 || library == nullptr || FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  std::printf("user interface language %04x, texts of %04x\n", ::GetUserDefaultUILanguage(), language);
  const std::wstring item = StringIn(library, IDS_MENU_ITEM, language);
  // A translation is a text of its own.
  if (language != 0x0409 && item == StringIn(library, IDS_MENU_ITEM, 0x0409)) Expect(L"translation", item, L"");

  Microsoft::WRL::ComPtr<IClassFactory> factory;
  Microsoft::WRL::ComPtr<IShellExtInit> handler;
  Microsoft::WRL::ComPtr<IContextMenu3> menu;
  Microsoft::WRL::ComPtr<IExplorerCommand> command;
  CLSID command_class = {};
  const Microsoft::WRL::ComPtr<IDataObject> data = shell_host::NewDropDataObject({L"C:\\"});
  if (FAILED(shell_host::CallDllGetClassObject(CLSID_VeltraneContextMenuHandler, IID_IClassFactory, &factory)) ||
      FAILED(factory->CreateInstance(nullptr, IID_IShellExtInit, &handler)) ||
      FAILED(handler->Initialize(nullptr, data.Get(), nullptr)) ||
      FAILED(handler->QueryInterface(IID_IContextMenu3, &menu)) ||
      FAILED(::CLSIDFromString(L"{C6B0F1D4-8E27-4A93-B5D8-3F61E2A90C7B}", &command_class)) ||
      FAILED(shell_host::CallDllGetClassObject(command_class, IID_IClassFactory, &factory)) ||
      FAILED(factory->CreateInstance(nullptr, IID_IExplorerCommand, &command))) {
    std::printf("the handler or the command could not be made\n");
    return 2;
  }
  HMENU popup = ::CreatePopupMenu();
  menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL);
  wchar_t text[200] = {};
  ::GetMenuStringW(popup, 0, text, 200, MF_BYPOSITION);
  Expect(L"item", text, item);
  menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(text), 200);
  Expect(L"help text", text, StringIn(library, IDS_HELP_TEXT, language));
  LPWSTR title = nullptr;
  command->GetTitle(nullptr, &title);
  Expect(L"command title", title != nullptr ? title : L"<none>", StringIn(library, IDS_COMMAND_TITLE, language));

  // The owner-drawn item is as wide as this text in the icon-title font, plus the icon.
  LOGFONTW look = {};
  ::SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(look), &look, 0);
  HDC screen = ::GetDC(nullptr);
  HGDIOBJ previous = ::SelectObject(screen, ::CreateFontIndirectW(&look));
  SIZE extent = {};
  ::GetTextExtentPoint32W(screen, item.c_str(), static_cast<int>(item.size()), &extent);
  ::DeleteObject(::SelectObject(screen, previous));
  ::ReleaseDC(nullptr, screen);
  MEASUREITEMSTRUCT measure = {ODT_MENU, 0, 1, 0, 0, 0};
  menu->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure), nullptr);
  Expect(L"measured width", std::to_wstring(measure.itemWidth),
         std::to_wstring(extent.cx + ::GetSystemMetrics(SM_CXMENUCHECK)));

  const std::wstring scheduler = test_support::SiblingPath(L"scheduler.exe");
  const auto run =
      test_support::RunAnsweringMessageBoxes(test_support::Quoted(scheduler) + L" /uninstall", L"Veltrane", 60000);
  HMODULE resources = ::LoadLibraryExW(scheduler.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  Expect(L"scheduler's box", run.boxes.size() == 1 ? run.boxes[0].text : L"<not one box>",
         StringIn(resources, IDS_SERVICE_UNINSTALLED, language));
  std::printf("%s\n", failures == 0 ? "as wanted" : "NOT as wanted");
  return failures;
}
