#include "scanmenu/menu/win32/scan_platform.h"

#include <windows.h>
#include <shellapi.h>

#include <limits>

#include "common/application/contract.h"
#include "common/application/win32/presence_event.h"
#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "common/win32/wide.h"

namespace scanmenu {
namespace {

class Win32ListFile final : public ListFile {
 public:
  explicit Win32ListFile(HANDLE file) : file_(file) {}

  std::optional<ListFileFacts> Facts() override {
    BY_HANDLE_FILE_INFORMATION information;
    if (!::GetFileInformationByHandle(file_.get(), &information)) return std::nullopt;
    ListFileFacts facts;
    facts.reparse_point = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts.directory = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.links = information.nNumberOfLinks;
    return facts;
  }

  bool Truncate() override {
    const LARGE_INTEGER start = {};
    return ::SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN) && ::SetEndOfFile(file_.get());
  }

  bool Write(std::span<const std::byte> bytes) override {
    if (bytes.size() > std::numeric_limits<DWORD>::max()) return false;
    DWORD written = 0;
    return ::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE;
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
  return std::u16string(win32::Utf16(buffer), length);
}

std::unique_ptr<ListFile> Win32ScanPlatform::OpenListFile(const std::u16string& path) {
  // OPEN_ALWAYS rather than CREATE_ALWAYS (which that flag does not go
  // with): nothing is truncated before the request has looked at what it
  // opened. FILE_FLAG_OPEN_REPARSE_POINT opens
  // a symbolic link or junction at the name itself instead of its target;
  // a directory (a junction among them) cannot be opened without
  // FILE_FLAG_BACKUP_SEMANTICS and fails here. FILE_READ_ATTRIBUTES lets the
  // request read the file's facts; share mode 0 keeps every other opener out until
  // the list is written, so what was looked at is what gets written.
  HANDLE file = ::CreateFileW(win32::Wide(path), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32ListFile>(file);
}

application::PresenceOpen Win32ScanPlatform::OpenPresenceEvent() {
  return application::OpenPresenceEvent(application::kScanmenuPresenceEvent);
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
