#include "common/application/win32/presence_image.h"

#include <windows.h>
#include <tlhelp32.h>

#include <string>

#include "common/win32/scoped_handle.h"
#include "common/win32/wide.h"

namespace application {
namespace {

// Long enough for any image path (the \\?\ form's limit).
constexpr DWORD kImagePathUnits = 32768;

bool SamePath(const std::u16string& a, const wchar_t* b, DWORD b_units) {
  return ::CompareStringOrdinal(win32::Wide(a), static_cast<int>(a.size()), b, static_cast<int>(b_units), TRUE) ==
         CSTR_EQUAL;
}

}  // namespace

bool ProcessWithImageRuns(std::u16string_view path) {
  if (path.empty()) return false;
  const std::u16string wanted(path);
  win32::ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;  // INVALID_HANDLE_VALUE counts as none
  std::wstring image(kImagePathUnits, L'\0');
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == 0) continue;
    win32::ScopedHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (!process) continue;
    DWORD units = kImagePathUnits;
    if (!::QueryFullProcessImageNameW(process.get(), 0, image.data(), &units)) continue;
    if (SamePath(wanted, image.data(), units)) return true;
  }
  return false;
}

}  // namespace application
