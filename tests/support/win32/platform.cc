#include "support/win32/platform.h"

#include <windows.h>

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

}  // namespace test_support
