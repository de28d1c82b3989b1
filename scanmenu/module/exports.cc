// The entry point and the COM exports of Scanmenu.dll.
#include <windows.h>

#include "scanmenu/module/com_module_record.h"
#include "scanmenu/module/module_globals.h"
#include "scanmenu/module/scanmenu_module.h"

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
