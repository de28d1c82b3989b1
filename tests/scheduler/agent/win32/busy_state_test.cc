// The busy test against real windows on Wine's desktop.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "scheduler/agent/win32/busy_state.h"

namespace agent {
namespace {

constexpr wchar_t kTestWindowClass[] = L"Busy Test Window";

// Destroyed on the thread that made it, as DestroyWindow requires.
using ScopedWindow = win32::ScopedResource<HWND, ::DestroyWindow>;

// Keeps the user's screen-saver setting as it was.
class ScreenSaverSetting {
 public:
  ScreenSaverSetting() {
    win32::RegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, u"Control Panel\\Desktop", KEY_QUERY_VALUE) == ERROR_SUCCESS) {
      saved_ = key.ReadText(u"SCRNSAVE.EXE", 520);
    }
  }
  ~ScreenSaverSetting() {
    win32::RegistryKey key;
    if (key.Create(HKEY_CURRENT_USER, u"Control Panel\\Desktop", KEY_SET_VALUE) != ERROR_SUCCESS) return;
    if (saved_) {
      key.WriteText(u"SCRNSAVE.EXE", *saved_);
    } else {
      RegDeleteValueW(key.get(), L"SCRNSAVE.EXE");
    }
  }
  static void Set(const std::u16string& path) {
    win32::RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, u"Control Panel\\Desktop", KEY_SET_VALUE), ERROR_SUCCESS);
    ASSERT_EQ(key.WriteText(u"SCRNSAVE.EXE", path), ERROR_SUCCESS);
  }
  static void Remove() {
    win32::RegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, u"Control Panel\\Desktop", KEY_SET_VALUE) == ERROR_SUCCESS) {
      RegDeleteValueW(key.get(), L"SCRNSAVE.EXE");
    }
  }

 private:
  std::optional<std::u16string> saved_;
};

class BusyStateWin32Test : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = &DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kTestWindowClass;
    RegisterClassExW(&window_class);
  }

  void SetUp() override { ScreenSaverSetting::Remove(); }

  // A visible window in front of everything else.
  static HWND FrontWindow(DWORD style, int x, int y, int width, int height) {
    HWND window = CreateWindowExW(WS_EX_TOPMOST, kTestWindowClass, L"busy", style, x, y, width, height, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) return nullptr;
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    return window;
  }

  static int ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
  static int ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

  ScreenSaverSetting setting_;
};

TEST_F(BusyStateWin32Test, BorderlessFullScreenWindowIsBusyAndWithBorderIsNot) {
  ScopedWindow borderless(FrontWindow(WS_POPUP, 0, 0, ScreenWidth(), ScreenHeight()));
  ASSERT_NE(borderless.get(), nullptr);
  ASSERT_EQ(GetForegroundWindow(), borderless.get());
  EXPECT_EQ(QueryBusyState(), BusyState::kBusy);

  ScopedWindow bordered(FrontWindow(WS_POPUP | WS_BORDER, 0, 0, ScreenWidth(), ScreenHeight()));
  ASSERT_EQ(GetForegroundWindow(), bordered.get());
  EXPECT_EQ(QueryBusyState(), BusyState::kAcceptsNotifications);
}

TEST_F(BusyStateWin32Test, OrdinaryAndNearlyFullScreenWindowsAcceptNotifications) {
  ScopedWindow ordinary(FrontWindow(WS_OVERLAPPEDWINDOW, 100, 100, 400, 300));
  ASSERT_EQ(GetForegroundWindow(), ordinary.get());
  EXPECT_EQ(QueryBusyState(), BusyState::kAcceptsNotifications);

  ScopedWindow offset(FrontWindow(WS_POPUP, 1, 0, ScreenWidth(), ScreenHeight()));
  ASSERT_EQ(GetForegroundWindow(), offset.get());
  EXPECT_EQ(QueryBusyState(), BusyState::kAcceptsNotifications);

  ScopedWindow narrow(FrontWindow(WS_POPUP, 0, 0, ScreenWidth() - 1, ScreenHeight()));
  ASSERT_EQ(GetForegroundWindow(), narrow.get());
  EXPECT_EQ(QueryBusyState(), BusyState::kAcceptsNotifications);
}

TEST_F(BusyStateWin32Test, ConfiguredScreenSaverInShortFormIsRecognised) {
  // This test program plays the screen saver: its window is in front and the
  // setting names it by its short path.
  wchar_t own_path[MAX_PATH] = {};
  ASSERT_NE(GetModuleFileNameW(nullptr, own_path, MAX_PATH), 0u);
  wchar_t short_path[MAX_PATH] = {};
  ASSERT_NE(GetShortPathNameW(own_path, short_path, MAX_PATH), 0u);
  EXPECT_NE(std::wstring(short_path), std::wstring(own_path)) << "the test needs a short form that differs";
  ScreenSaverSetting::Set(win32::FromWide(short_path));

  ScopedWindow saver(FrontWindow(WS_POPUP | WS_BORDER, 0, 0, ScreenWidth(), ScreenHeight()));
  ASSERT_EQ(GetForegroundWindow(), saver.get());
  EXPECT_EQ(QueryBusyState(), BusyState::kNotPresent);

  // Another program configured as screen saver: the border decides again.
  ScreenSaverSetting::Set(u"C:\\windows\\system32\\scrnsave.scr");
  EXPECT_EQ(QueryBusyState(), BusyState::kAcceptsNotifications);
}

}  // namespace
}  // namespace agent
