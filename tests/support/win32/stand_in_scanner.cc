#include "support/win32/stand_in_scanner.h"

#include <cstdlib>

#include <atomic>
#include <string>

#include "common/win32/registry_key.h"

namespace test_support {
namespace {

constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr wchar_t kScannerProgram[] = L"stand_in_scanner.exe";
// A bound for a loaded machine, where starting a process under Wine takes seconds.
constexpr DWORD kEventAppearsWithinMs = 30000;
constexpr DWORD kPollMs = 25;
// A scanner started a moment ago may still have its executable open.
constexpr DWORD kRemoveRetriesMs = 3000;

std::atomic<int> g_installations{0};

std::u16string U16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

std::wstring TempFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return {};
  return std::wstring(buffer, length);
}

// An event whose DACL refuses the caller exists all the same.
bool EventExists(const std::wstring& name) {
  win32::ScopedHandle event(::OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
  return event || ::GetLastError() == ERROR_ACCESS_DENIED;
}

template <typename Action>
void RetryForAWhile(Action action) {
  const ULONGLONG deadline = ::GetTickCount64() + kRemoveRetriesMs;
  while (!action() && ::GetTickCount64() < deadline) ::Sleep(kPollMs);
}

}  // namespace

PresenceEventHolder::PresenceEventHolder(std::wstring_view event_name, bool refusing) {
  const std::wstring name(event_name);
  const wchar_t* const hold = refusing ? L" --hold-refusing-event " : L" --hold-event ";
  if (!process_.Start(Quoted(SiblingPath(kScannerProgram)) + hold + Quoted(name))) return;
  const ULONGLONG deadline = ::GetTickCount64() + kEventAppearsWithinMs;
  while (!EventExists(name)) {
    if (!process_.IsRunning() || ::GetTickCount64() >= deadline) return;
    ::Sleep(kPollMs);
  }
  ok_ = true;
}

PresenceEventHolder::~PresenceEventHolder() { process_.Terminate(); }

StandInScanner::StandInScanner(std::wstring_view subkey) : subkey_(subkey) {
  const std::wstring temp = TempFolder();
  if (temp.empty()) return;
  folder_ = temp + L"Stand In Scanner " + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(++g_installations);
  path_ = folder_ + L"\\scanner.exe";
  log_ = folder_ + L"\\scanner.log";
  profile_ = folder_ + L"\\scanner.profile";
  parent_ = folder_ + L"\\scanner.parent";
  if (!::CreateDirectoryW(folder_.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return;
  if (!::CopyFileW(SiblingPath(kScannerProgram).c_str(), path_.c_str(), FALSE)) return;
  ClearLog();
  ok_ = SetUninstallString(Quoted(path_) + L" /uninstall /silent");
}

StandInScanner::~StandInScanner() {
  Unregister();
  if (folder_.empty()) return;
  RetryForAWhile([&] { return ::DeleteFileW(log_.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND; });
  RetryForAWhile([&] { return ::DeleteFileW(profile_.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND; });
  RetryForAWhile([&] { return ::DeleteFileW(parent_.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND; });
  RetryForAWhile([&] { return ::DeleteFileW(path_.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND; });
  RetryForAWhile([&] { return ::RemoveDirectoryW(folder_.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND; });
}

bool StandInScanner::SetUninstallString(std::wstring_view text) {
  win32::RegistryKey key;
  // In the 64-bit view, where the 64-bit application writes it, also from a
  // 32-bit test program.
  if (key.Create(HKEY_LOCAL_MACHINE, U16(kUninstallKey + subkey_), KEY_SET_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS) {
    return false;
  }
  return key.WriteText(u"UninstallString", U16(text)) == ERROR_SUCCESS;
}

bool StandInScanner::Unregister() {
  const std::wstring key = kUninstallKey + subkey_;
  const LONG result = ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_64KEY, 0);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

std::vector<std::wstring> ReadLogLines(const std::wstring& path) {
  std::vector<std::wstring> lines;
  win32::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return lines;
  std::string content;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) content.append(buffer, read);
  std::size_t begin = 0;
  for (std::size_t end = content.find('\n'); end != std::string::npos; end = content.find('\n', begin)) {
    lines.push_back(FromUtf8(std::string_view(content).substr(begin, end - begin)));
    begin = end + 1;
  }
  return lines;
}

std::vector<std::wstring> StandInScanner::Log() const { return ReadLogLines(log_); }

std::vector<std::wstring> StandInScanner::WaitForLog(std::size_t count, DWORD timeout_ms) const {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  for (;;) {
    std::vector<std::wstring> lines = Log();
    if (lines.size() >= count || ::GetTickCount64() >= deadline) return lines;
    ::Sleep(kPollMs);
  }
}

void StandInScanner::ClearLog() {
  RetryForAWhile([&] { return ::DeleteFileW(log_.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND; });
}

std::wstring StandInScanner::LastUserProfile() const {
  win32::ScopedHandle file(::CreateFileW(profile_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  wchar_t text[MAX_PATH] = {};
  DWORD read = 0;
  if (!file || !::ReadFile(file.get(), text, sizeof text - sizeof(wchar_t), &read, nullptr)) return {};
  return std::wstring(text, read / sizeof(wchar_t));
}

DWORD StandInScanner::LastParentProcessId() const {
  win32::ScopedHandle file(::CreateFileW(parent_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  char text[16] = {};
  DWORD read = 0;
  if (!file || !::ReadFile(file.get(), text, sizeof text - 1, &read, nullptr)) return 0;
  return static_cast<DWORD>(std::strtoul(text, nullptr, 10));
}

std::unique_ptr<PresenceEventHolder> StandInScanner::HoldPresenceEvent(std::wstring_view event_name, bool refusing) {
  return std::make_unique<PresenceEventHolder>(event_name, refusing);
}

}  // namespace test_support
