#include "scanmenu/menu/win32/win32_scan_platform.h"

#include <windows.h>
#include <shellapi.h>

#include <limits>

#include "common/application/contract.h"
#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"

namespace scanmenu {
namespace {

class Win32ListFile final : public ListFile {
 public:
  explicit Win32ListFile(HANDLE file) : file_(file) {}

  bool Write(std::span<const std::byte> bytes) override {
    if (bytes.size() > std::numeric_limits<DWORD>::max()) return false;
    DWORD written = 0;
    return ::WriteFile(file_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE;
  }

 private:
  win32::ScopedHandle file_;
};

}  // namespace

std::optional<std::u16string> Win32ScanPlatform::TemporaryDirectory() {
  wchar_t buffer[kListPathUnits];
  const DWORD length = ::GetTempPathW(kListPathUnits, buffer);
  // 0 is a failure; a length of the buffer or more is the size it would need.
  if (length == 0 || length >= kListPathUnits) return std::nullopt;
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
}

std::unique_ptr<ListFile> Win32ScanPlatform::CreateListFile(const std::u16string& path) {
  HANDLE file = ::CreateFileW(win32::Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32ListFile>(file);
}

bool Win32ScanPlatform::ApplicationRunning() {
  const std::u16string name(application::kScanmenuPresenceEvent);
  const win32::ScopedHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, win32::Wide(name)));
  return event.IsValid();
}

bool Win32ScanPlatform::Open(const std::u16string& file, const std::u16string& parameters) {
  const std::u16string verb(application::kShellOpenVerb);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  // The request shows nothing of its own: a stale application path gives a
  // failed request, not an error box from the shell.
  info.fMask = SEE_MASK_NOZONECHECKS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = win32::Wide(verb);
  info.lpFile = win32::Wide(file);
  info.lpParameters = win32::Wide(parameters);
  return ::ShellExecuteExW(&info) != FALSE;
}

}  // namespace scanmenu
