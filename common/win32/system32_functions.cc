#include "common/win32/system32_functions.h"

namespace win32::system32 {
namespace {

// The function `name` of `dll` from System32, or null when either cannot be
// found.
template <typename Function>
Function* Find(const wchar_t* dll, const char* name) {
  HMODULE module = ::LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr) return nullptr;
  // From FARPROC through the generic function type, which any function type
  // may be converted from and to.
  return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

template <typename Function, typename... Arguments>
BOOL Call(Function* function, Arguments... arguments) {
  if (function == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return function(arguments...);
}

}  // namespace

// Each lookup runs once, on the first call; one that failed is not retried.
BOOL CreateEnvironmentBlock(LPVOID* environment, HANDLE token, BOOL inherit) {
  static auto* const function = Find<BOOL WINAPI(LPVOID*, HANDLE, BOOL)>(L"userenv.dll", "CreateEnvironmentBlock");
  return Call(function, environment, token, inherit);
}

BOOL DestroyEnvironmentBlock(LPVOID environment) {
  static auto* const function = Find<BOOL WINAPI(LPVOID)>(L"userenv.dll", "DestroyEnvironmentBlock");
  return Call(function, environment);
}

BOOL WTSQueryUserToken(ULONG session, PHANDLE token) {
  static auto* const function = Find<BOOL WINAPI(ULONG, PHANDLE)>(L"wtsapi32.dll", "WTSQueryUserToken");
  return Call(function, session, token);
}

BOOL WTSQuerySessionInformationW(HANDLE server, DWORD session, WTS_INFO_CLASS what, LPWSTR* buffer, DWORD* bytes) {
  static auto* const function =
      Find<BOOL WINAPI(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*)>(L"wtsapi32.dll", "WTSQuerySessionInformationW");
  return Call(function, server, session, what, buffer, bytes);
}

// Memory the query above returned came from the same DLL, so it is loaded.
void WTSFreeMemory(PVOID memory) {
  static auto* const function = Find<void WINAPI(PVOID)>(L"wtsapi32.dll", "WTSFreeMemory");
  if (function != nullptr) function(memory);
}

}  // namespace win32::system32
