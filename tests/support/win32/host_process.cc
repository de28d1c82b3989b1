#include "support/win32/host_process.h"

#include <windows.h>

#include <cstring>

#include "common/win32/scoped_handle.h"

namespace test_support {

std::string ReadHostFile(const std::wstring& path, std::size_t limit) {
  win32::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
  if (!file.IsValid()) return {};
  std::string text(limit, '\0');
  DWORD read = 0;
  if (!::ReadFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr)) return {};
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

}  // namespace test_support
