// The host behind `make screenshot`: Scanmenu.dll's item in a real context
// menu, built and shown the way Explorer does it for one file, and held open
// until its picture has been taken, in the display language it runs with
// (English, or German around a German item).
//   context_menu_picture.exe READY_FILE CLOSE_FILE
// Once the open menu has been drawn, the program writes the screen region
// worth taking (its window and the menu, as "WIDTHxHEIGHT+X+Y") to
// READY_FILE; it closes the menu as soon as CLOSE_FILE exists, or after a
// minute. The library is registered with regsvr32 for the run only.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "scanmenu/e2e/shell_host.h"

namespace {

// Where things are on the screen and in the window, in pixels.
constexpr int kWindowX = 24;
constexpr int kWindowY = 24;
constexpr int kWindowWidth = 400;
constexpr int kWindowHeight = 180;
constexpr RECT kFileRow = {12, 12, 232, 34};  // the selected file, in client coordinates
constexpr int kTextPadding = 6;               // before the file's name in its row
constexpr POINT kMenuAt = {140, 28};          // where the user right-clicked, in client coordinates
constexpr int kMargin = 12;                   // around the region announced for the picture

constexpr UINT kOpenId = 1;
constexpr UINT kPropertiesId = 2;
constexpr UINT kHandlerPosition = 2;  // between the two separators
constexpr UINT kFirstHandlerId = 100;
constexpr UINT kLastHandlerId = 0x7FFF;

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 100;
constexpr DWORD kSettleMs = 1000;   // from the menu's first idle moment to the announcement
constexpr DWORD kGiveUpMs = 60000;  // the menu closes by itself after this

// What Explorer shows around the item, in English and, for a German display
// language, in German.
struct Scene {
  const wchar_t* window_title;
  const wchar_t* file_name;
  const wchar_t* open;
  const wchar_t* properties;
};
constexpr Scene kEnglish = {L"Documents", L"Quarterly report.docx", L"&Open", L"P&roperties"};
constexpr Scene kGerman = {L"Dokumente", L"Quartalsbericht.docx", L"\u00d6&ffnen", L"&Eigenschaften"};
const Scene& CurrentScene() { return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_GERMAN ? kGerman : kEnglish; }

// The state that the window procedure shares with the program: one window,
// one menu, one run.
struct Host {
  Microsoft::WRL::ComPtr<IContextMenu2> menu2;  // set when the handler has no IContextMenu3
  Microsoft::WRL::ComPtr<IContextMenu3> menu3;
  HMENU popup = nullptr;
  std::wstring ready_file;
  std::wstring close_file;
  DWORD tracking_since = 0;
  DWORD idle_since = 0;
  bool idle = false;
  bool announced = false;
  bool closed_on_request = false;
};
Host g_host;

void Say(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  const std::wstring partial = path + L".partial";
  HANDLE file =
      ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
  ::CloseHandle(file);
  // The reader sees the whole text or none.
  return ok && ::MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// The window and every item of the open menu, with a margin, written to the
// ready file.
bool AnnounceRegion(HWND window) {
  RECT region;
  if (!::GetWindowRect(window, &region)) return false;
  const int items = ::GetMenuItemCount(g_host.popup);
  for (int i = 0; i < items; ++i) {
    RECT item;
    // No window: the function finds the popup menu's own.
    if (!::GetMenuItemRect(nullptr, g_host.popup, i, &item)) return false;
    ::UnionRect(&region, &region, &item);
  }
  ::InflateRect(&region, kMargin, kMargin);
  region.left = std::max(region.left, 0L);
  region.top = std::max(region.top, 0L);
  char text[64];
  std::snprintf(text, sizeof(text), "%ldx%ld+%ld+%ld\n", region.right - region.left, region.bottom - region.top,
                region.left, region.top);
  return WriteWholeFile(g_host.ready_file, text);
}

void Poll(HWND window) {
  const DWORD now = ::GetTickCount();
  if (!g_host.announced && g_host.idle && now - g_host.idle_since >= kSettleMs) {
    g_host.announced = AnnounceRegion(window);
    if (g_host.announced) Say("the menu is open; waiting for its picture to be taken");
  }
  if (g_host.announced && ::GetFileAttributesW(g_host.close_file.c_str()) != INVALID_FILE_ATTRIBUTES) {
    g_host.closed_on_request = true;
    ::EndMenu();
  } else if (now - g_host.tracking_since >= kGiveUpMs) {
    Say("nobody took the picture within a minute; closing the menu");
    ::EndMenu();
  }
}

// What Explorer does with the messages that an owner-drawn item needs: they
// go to the handler, through IContextMenu3 where it has one.
bool ForwardToHandler(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  if (g_host.menu3 != nullptr) return SUCCEEDED(g_host.menu3->HandleMenuMsg2(message, wparam, lparam, result));
  if (g_host.menu2 != nullptr) return SUCCEEDED(g_host.menu2->HandleMenuMsg(message, wparam, lparam));
  return false;
}

// A bare file list with the one selected file in it, its name in the font
// that file lists use.
void Paint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(window, &paint);
  if (dc == nullptr) return;
  RECT row = kFileRow;
  ::FillRect(dc, &row, ::GetSysColorBrush(COLOR_HIGHLIGHT));
  LOGFONTW look = {};
  HFONT font =
      ::SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(look), &look, 0) ? ::CreateFontIndirectW(&look) : nullptr;
  HGDIOBJ previous = font != nullptr ? ::SelectObject(dc, font) : nullptr;
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(COLOR_HIGHLIGHTTEXT));
  row.left += kTextPadding;
  ::DrawTextW(dc, CurrentScene().file_name, -1, &row, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
  if (previous != nullptr) ::SelectObject(dc, previous);
  if (font != nullptr) ::DeleteObject(font);
  ::EndPaint(window, &paint);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITMENUPOPUP:
    case WM_MEASUREITEM:
    case WM_DRAWITEM:
    case WM_MENUCHAR: {
      // What the window returns when the handler leaves the result alone:
      // 0 (and MNC_IGNORE for a menu character), TRUE for a measured or
      // drawn item.
      LRESULT result = (message == WM_MEASUREITEM || message == WM_DRAWITEM) ? TRUE : 0;
      if (ForwardToHandler(message, wparam, lparam, &result)) return result;
      break;
    }
    case WM_ENTERIDLE:
      if (wparam == MSGF_MENU && !g_host.idle) {
        g_host.idle = true;
        g_host.idle_since = ::GetTickCount();
      }
      return 0;
    case WM_TIMER:
      if (wparam == kPollTimer) Poll(window);
      return 0;
    case WM_PAINT:
      Paint(window);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

HWND CreateHostWindow() {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = L"Context Menu Picture Host";
  if (::RegisterClassExW(&window_class) == 0) return nullptr;
  HWND window = ::CreateWindowExW(0, window_class.lpszClassName, CurrentScene().window_title,
                                  WS_OVERLAPPED | WS_CAPTION, kWindowX, kWindowY, kWindowWidth, kWindowHeight, nullptr,
                                  nullptr, window_class.hInstance, nullptr);
  if (window != nullptr) {
    ::ShowWindow(window, SW_SHOWNORMAL);
    ::UpdateWindow(window);
  }
  return window;
}

// "Open" (the default), the handler's item between two separators, and
// "Properties", as Explorer lays out a file's menu.
bool BuildMenu(HMENU popup, IContextMenu* menu) {
  if (!::AppendMenuW(popup, MF_STRING, kOpenId, CurrentScene().open) ||
      !::AppendMenuW(popup, MF_SEPARATOR, 0, nullptr) || !::AppendMenuW(popup, MF_SEPARATOR, 0, nullptr) ||
      !::AppendMenuW(popup, MF_STRING, kPropertiesId, CurrentScene().properties) ||
      !::SetMenuDefaultItem(popup, kOpenId, FALSE)) {
    return false;
  }
  const HRESULT added = menu->QueryContextMenu(popup, kHandlerPosition, kFirstHandlerId, kLastHandlerId, CMF_NORMAL);
  return SUCCEEDED(added) && HRESULT_CODE(added) == 1 && ::GetMenuItemCount(popup) == 5;
}

int ShowMenu() {
  shell_host::TempFolder folder(CurrentScene().window_title);
  const Microsoft::WRL::ComPtr<IContextMenu> menu =
      shell_host::NewContextMenu({folder.AddFile(CurrentScene().file_name)});
  if (!menu) {
    Say("the handler could not be made through COM and initialised with the file");
    return 1;
  }
  if (FAILED(menu->QueryInterface(IID_IContextMenu3, &g_host.menu3))) {
    menu->QueryInterface(IID_IContextMenu2, &g_host.menu2);
  }
  int status = 1;
  HWND window = CreateHostWindow();
  g_host.popup = ::CreatePopupMenu();
  if (window == nullptr || g_host.popup == nullptr || !BuildMenu(g_host.popup, menu.Get())) {
    Say("the window or the menu could not be made");
  } else {
    POINT at = kMenuAt;
    ::ClientToScreen(window, &at);
    g_host.tracking_since = ::GetTickCount();
    ::SetTimer(window, kPollTimer, kPollMs, nullptr);
    ::SetForegroundWindow(window);
    const UINT chosen = ::TrackPopupMenuEx(g_host.popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD,
                                           at.x, at.y, window, nullptr);
    ::KillTimer(window, kPollTimer);
    // Nothing is chosen: the menu was only shown.
    if (g_host.announced && g_host.closed_on_request && chosen == 0) {
      Say("picture taken; menu closed");
      status = 0;
    } else if (!g_host.announced) {
      Say("the menu never became idle on screen");
    }
  }
  if (g_host.popup != nullptr) ::DestroyMenu(g_host.popup);
  if (window != nullptr) ::DestroyWindow(window);
  g_host.menu3.Reset();
  g_host.menu2.Reset();
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: context_menu_picture.exe READY_FILE CLOSE_FILE\n");
    return 2;
  }
  g_host.ready_file = argv[1];
  g_host.close_file = argv[2];
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int status = 1;
  {
    shell_host::ClassRegistration registration;
    if (registration.ok()) {
      status = ShowMenu();
    } else {
      Say("regsvr32 could not register Scanmenu.dll");
    }
  }
  ::CoUninitialize();
  return status;
}
