// The library's own load address, used for its module and its resources.
#pragma once

#include <windows.h>

#include "scanmenu/module/win32/critical_section.h"

namespace scanmenu {

class BaseModuleRecord {
 public:
  BaseModuleRecord();
  BaseModuleRecord(const BaseModuleRecord&) = delete;
  BaseModuleRecord& operator=(const BaseModuleRecord&) = delete;

  HINSTANCE module_instance() const { return m_hInst; }
  HINSTANCE resource_instance() const { return m_hInstResource; }

 private:
  UINT m_cbSize = 0;
  HINSTANCE m_hInst;
  HINSTANCE m_hInstResource;
  // Guards the list of extra resource modules, which stays empty here.
  CriticalSection m_resourceLock;
};

}  // namespace scanmenu
