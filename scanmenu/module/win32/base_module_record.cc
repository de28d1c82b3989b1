#include "scanmenu/module/win32/base_module_record.h"

#include "scanmenu/module/win32/module_globals.h"

namespace scanmenu {

BaseModuleRecord::BaseModuleRecord() : module_instance_(ThisModule()), resource_instance_(ThisModule()) {
  if (FAILED(resource_lock_.Init())) {
    if (::IsDebuggerPresent()) {
      ::OutputDebugStringW(L"Scanmenu: unable to initialize the critical section of the base module\n");
    }
    g_initFailed = true;
    return;
  }
  cb_size_ = sizeof(*this);
}

}  // namespace scanmenu
