#include "scanmenu/module/win32/base_module_record.h"

#include "scanmenu/module/win32/module_globals.h"

namespace scanmenu {

BaseModuleRecord::BaseModuleRecord() : m_hInst(ThisModule()), m_hInstResource(ThisModule()) {
  if (FAILED(m_resourceLock.Init())) {
    if (::IsDebuggerPresent()) {
      ::OutputDebugStringW(L"Scanmenu: unable to initialize the critical section of the base module\n");
    }
    g_initFailed = true;
    return;
  }
  m_cbSize = sizeof(*this);
}

}  // namespace scanmenu
