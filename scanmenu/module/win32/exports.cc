// The entry point and the COM exports of Scanmenu.dll.
#include <windows.h>
#include <shlobj.h>

#include "scanmenu/module/win32/com_module_record.h"
#include "scanmenu/module/win32/module_globals.h"
#include "scanmenu/module/win32/registration.h"
#include "scanmenu/module/win32/scanmenu_module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  scanmenu::g_hInstance = instance;
  // The module records are built before this runs; one that failed fails the load.
  if (reason == DLL_PROCESS_ATTACH && scanmenu::g_initFailed) return FALSE;
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  return scanmenu::ComModule().GetClassObject(clsid, iid, out);
}

STDAPI DllCanUnloadNow() { return scanmenu::Module().LockCount() == 0 ? S_OK : S_FALSE; }

namespace {

// Registration runs in the system default locale; the caller's thread
// locale is given back on every way out.
class SystemLocaleScope {
 public:
  SystemLocaleScope() : saved_(::GetThreadLocale()) { ::SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
  SystemLocaleScope(const SystemLocaleScope&) = delete;
  SystemLocaleScope& operator=(const SystemLocaleScope&) = delete;
  ~SystemLocaleScope() { ::SetThreadLocale(saved_); }

 private:
  LCID saved_;
};

// Explorer caches which handlers a class has; a changed registration is
// announced so that open windows pick it up without a restart.
void NotifyShell(HRESULT hr) {
  if (SUCCEEDED(hr)) ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

}  // namespace

STDAPI DllRegisterServer() {
  SystemLocaleScope locale;
  const HRESULT hr = scanmenu::RegisterServer();
  NotifyShell(hr);
  return hr;
}

STDAPI DllUnregisterServer() {
  SystemLocaleScope locale;
  const HRESULT hr = scanmenu::UnregisterServer();
  NotifyShell(hr);
  return hr;
}

// The command line is not read: /i behaves as registration, and a failed
// registration is followed by a full unregistration.
STDAPI DllInstall(BOOL install, LPCWSTR) {
  if (!install) return DllUnregisterServer();
  const HRESULT hr = DllRegisterServer();
  if (FAILED(hr)) DllUnregisterServer();
  return hr;
}
