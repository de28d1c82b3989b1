#include "support/win32/platform.h"

#include <windows.h>
#include <sddl.h>

#include "common/win32/scoped_handle.h"

namespace test_support {

bool RunningUnderWine() {
  // ntdll is mapped into every process; the handle needs no release.
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool InConsoleSession() {
  DWORD session = 0;
  const DWORD console = ::WTSGetActiveConsoleSessionId();
  return console != 0xFFFFFFFFu && ::ProcessIdToSessionId(::GetCurrentProcessId(), &session) && session == console;
}

std::wstring OwnUserSid() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return L"";
  win32::ScopedHandle token(raw);
  BYTE buffer[256] = {};
  DWORD length = 0;
  LPWSTR text = nullptr;
  if (!::GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &length) ||
      !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
    return L"";
  }
  win32::ScopedLocalMemory owner(text);
  return text;
}

}  // namespace test_support
