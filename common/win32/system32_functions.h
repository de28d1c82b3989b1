// The functions this project calls from system DLLs that are not KnownDLLs.
//
// The loader looks for a DLL that is not a KnownDLL in the program's own
// folder first. A service installed in a folder its users can write would
// then run a planted USERENV.dll or WTSAPI32.dll as LocalSystem, and so would
// their own dependencies. These functions load their DLL with
// LOAD_LIBRARY_SEARCH_SYSTEM32 instead, which takes the DLL and its
// dependencies from System32 alone, once per process; the DLL stays loaded.
// They behave as the functions of the same names; when the DLL or the
// function cannot be found they fail with that error.
#pragma once

#include <windows.h>
#include <wtsapi32.h>

namespace win32::system32 {

// userenv.dll
BOOL CreateEnvironmentBlock(LPVOID* environment, HANDLE token, BOOL inherit);
BOOL DestroyEnvironmentBlock(LPVOID environment);
// wtsapi32.dll
BOOL WTSQueryUserToken(ULONG session, PHANDLE token);
BOOL WTSQuerySessionInformationW(HANDLE server, DWORD session, WTS_INFO_CLASS what, LPWSTR* buffer, DWORD* bytes);
void WTSFreeMemory(PVOID memory);

}  // namespace win32::system32
