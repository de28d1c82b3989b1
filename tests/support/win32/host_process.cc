#include "support/win32/host_process.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "common/win32/scoped_handle.h"

namespace test_support {

std::string ReadHostFile(const std::wstring& path, std::size_t limit) {
  win32::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  std::string text(limit, '\0');
  DWORD read = 0;
  if (!::ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr)) return {};
  text.resize(read);
  return text;
}

std::wstring FindHostProcess(const char* image, bool user_argument) {
  WIN32_FIND_DATAW entry;
  HANDLE search = ::FindFirstFileW(L"Z:\\proc\\*", &entry);
  if (search == INVALID_HANDLE_VALUE) return {};
  std::wstring found;
  const std::size_t image_length = std::strlen(image);
  do {
    if (entry.cFileName[0] < L'0' || entry.cFileName[0] > L'9') continue;
    const std::wstring folder = std::wstring(L"Z:\\proc\\") + entry.cFileName;
    std::string command = ReadHostFile(folder + L"\\cmdline");
    const std::string program = command.substr(0, command.find('\0'));
    for (char& c : command) {
      if (c == 0) c = ' ';
    }
    if (program.size() >= image_length && program.compare(program.size() - image_length, image_length, image) == 0 &&
        (command.find(" /user") != std::string::npos) == user_argument) {
      found = folder;
      break;
    }
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
  return found;
}

std::wstring OwnHostProcess() {
  wchar_t module[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  // UTF-8, as the host shows command lines; the Unix path drops "Z:".
  char windows_path[3 * MAX_PATH] = {};
  if (::WideCharToMultiByte(CP_UTF8, 0, module, -1, windows_path, sizeof windows_path, nullptr, nullptr) == 0) {
    return {};
  }
  std::string unix_path = windows_path[0] == 'Z' || windows_path[0] == 'z' ? windows_path + 2 : "";
  std::replace(unix_path.begin(), unix_path.end(), '\\', '/');
  const std::string windows(windows_path);

  WIN32_FIND_DATAW entry;
  HANDLE search = ::FindFirstFileW(L"Z:\\proc\\*", &entry);
  if (search == INVALID_HANDLE_VALUE) return {};
  std::wstring found;
  do {
    if (entry.cFileName[0] < L'0' || entry.cFileName[0] > L'9') continue;
    const std::wstring folder = std::wstring(L"Z:\\proc\\") + entry.cFileName;
    const std::string command = ReadHostFile(folder + L"\\cmdline");
    const std::string program = command.substr(0, command.find('\0'));
    // A Unix path may be relative to where `wine` was started.
    const bool unix_match = !unix_path.empty() && !program.empty() &&
                            (program == unix_path || (program[0] != '/' && unix_path.ends_with("/" + program)));
    if (unix_match || (program.size() == windows.size() && ::_stricmp(program.c_str(), windows.c_str()) == 0)) {
      found = folder;
      break;
    }
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
  return found;
}

}  // namespace test_support
