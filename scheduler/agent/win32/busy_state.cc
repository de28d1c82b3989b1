#include "scheduler/agent/win32/busy_state.h"

#include <windows.h>
#include <psapi.h>

#include "common/application/win32/registry_settings_source.h"
#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "scheduler/agent/busy_state.h"

namespace agent {
namespace {

class Win32Desktop final : public BusyProbe {
 public:
  std::optional<FrontWindow> GetFrontWindow() override {
    window_ = GetForegroundWindow();
    if (window_ == nullptr) window_ = GetTopWindow(GetDesktopWindow());
    if (window_ == nullptr) return std::nullopt;
    RECT rect;
    if (!GetWindowRect(window_, &rect)) return std::nullopt;
    FrontWindow front;
    front.left = rect.left;
    front.top = rect.top;
    front.right = rect.right;
    front.bottom = rect.bottom;
    front.style = static_cast<std::uint32_t>(GetWindowLongW(window_, GWL_STYLE));
    return front;
  }

  std::int32_t ScreenWidth() override { return GetSystemMetrics(SM_CXSCREEN); }
  std::int32_t ScreenHeight() override { return GetSystemMetrics(SM_CYSCREEN); }

  std::uint32_t FrontWindowProcessId() override {
    DWORD process_id = 0;
    GetWindowThreadProcessId(window_, &process_id);
    return process_id;
  }

  std::optional<std::u16string> ProcessImagePath(std::uint32_t process_id) override {
    win32::ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id));
    if (!process) return std::nullopt;
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameExW(process.get(), nullptr, path, MAX_PATH);
    if (length == 0) return std::nullopt;
    return win32::FromWide(path);
  }

  std::optional<std::u16string> LongPathForm(const std::u16string& path) override {
    wchar_t long_path[MAX_PATH] = {};
    const DWORD length = GetLongPathNameW(win32::Wide(path), long_path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::nullopt;
    return win32::FromWide(long_path);
  }

  bool SamePath(const std::u16string& a, const std::u16string& b) override {
    return CompareStringOrdinal(win32::Wide(a), -1, win32::Wide(b), -1, TRUE) == CSTR_EQUAL;
  }

 private:
  HWND window_ = nullptr;
};

}  // namespace

BusyState QueryBusyState() {
  Win32Desktop desktop;
  const application::RegistrySettingsSource settings;
  return DecideBusyState(desktop, settings);
}

}  // namespace agent
