// A stand-in for the scanner application. Every start appends its full
// command line, as one UTF-8 line, to the log beside the executable (same
// name, extension .log), writes the USERPROFILE it was started with to the
// file of extension .profile beside it (so that a test sees whose
// environment the starter passed on), and ends at once with exit code 0.
//
// Each logged start also writes the id of the process that created it to the
// file of extension .parent, so that a test sees who started the scan.
//
// Started with `--idle` it runs, holding nothing, until it is killed (at most
// five minutes): a scanner whose presence shows only by its image.
// Started with `--hold-event "<name>"` it instead creates the named event and
// holds it until it is killed (at most five minutes), the way the real
// application shows that it runs; `--hold-refusing-event "<name>"` does the
// same with an event whose DACL grants nobody any access. Such a start is the test's own instrument
// and is not logged.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <string>

namespace {

constexpr DWORD kLongestHoldMs = 5 * 60 * 1000;

std::wstring PathBeside(const wchar_t* extension) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::wstring log(path, length);
  const std::size_t dot = log.find_last_of(L'.');
  const std::size_t slash = log.find_last_of(L"\\/");
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) log.resize(dot);
  return log + extension;
}

void WriteUserProfile() {
  wchar_t profile[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
  if (length >= MAX_PATH) return;
  HANDLE file = ::CreateFileW(PathBeside(L".profile").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, profile, length * sizeof(wchar_t), &written, nullptr);
  ::CloseHandle(file);
}

void WriteParentProcessId() {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == ::GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  }
  ::CloseHandle(snapshot);
  const std::string text = std::to_string(parent);
  HANDLE file = ::CreateFileW(PathBeside(L".parent").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(file);
}

int AppendCommandLine() {
  const wchar_t* command_line = ::GetCommandLineW();
  const int wide_length = static_cast<int>(wcslen(command_line));
  std::string line;
  if (wide_length > 0) {
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, command_line, wide_length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return 3;
    line.resize(static_cast<std::size_t>(bytes));
    ::WideCharToMultiByte(CP_UTF8, 0, command_line, wide_length, line.data(), bytes, nullptr, nullptr);
  }
  line.push_back('\n');
  WriteUserProfile();
  WriteParentProcessId();
  const std::wstring log = PathBeside(L".log");
  if (log.empty()) return 3;
  // Appending writes land at the end even when several starts write at once.
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    file = ::CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) ::Sleep(20);
  }
  if (file == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok && written == line.size() ? 0 : 3;
}

// With `refuse_everyone` the event's DACL is empty and grants nobody any
// access, as an elevated application's event refuses a caller of lower
// integrity.
int HoldEvent(const wchar_t* name, bool refuse_everyone) {
  SECURITY_DESCRIPTOR descriptor;
  ACL empty_dacl;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
  if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !::InitializeAcl(&empty_dacl, sizeof empty_dacl, ACL_REVISION) ||
      !::SetSecurityDescriptorDacl(&descriptor, TRUE, &empty_dacl, FALSE)) {
    return 2;
  }
  HANDLE event = ::CreateEventW(refuse_everyone ? &attributes : nullptr, TRUE, FALSE, name);
  if (event == nullptr) return 2;
  ::Sleep(kLongestHoldMs);
  ::CloseHandle(event);
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  int result = -1;
  if (arguments != nullptr) {
    if (count == 2 && wcscmp(arguments[1], L"--idle") == 0) {
      ::LocalFree(arguments);
      ::Sleep(kLongestHoldMs);
      return 0;
    }
    for (int i = 1; i + 1 < count; ++i) {
      const bool refuse_everyone = wcscmp(arguments[i], L"--hold-refusing-event") == 0;
      if (refuse_everyone || wcscmp(arguments[i], L"--hold-event") == 0) {
        result = HoldEvent(arguments[i + 1], refuse_everyone);
        break;
      }
    }
    ::LocalFree(arguments);
  }
  return result >= 0 ? result : AppendCommandLine();
}
