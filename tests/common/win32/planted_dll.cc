// A DLL planted beside a program under the name of a system DLL. When it is
// loaded it leaves "<its own path>.loaded" beside itself; its functions fail.
#include <windows.h>

#include <string>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(instance, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  const std::wstring marker = std::wstring(path, length) + L".loaded";
  HANDLE file = ::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI CreateEnvironmentBlock(LPVOID*, HANDLE, BOOL) { return FALSE; }
extern "C" __declspec(dllexport) BOOL WINAPI DestroyEnvironmentBlock(LPVOID) { return FALSE; }
extern "C" __declspec(dllexport) BOOL WINAPI WTSQueryUserToken(ULONG, PHANDLE) { return FALSE; }
