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

  HINSTANCE module_instance() const { return module_instance_; }
  HINSTANCE resource_instance() const { return resource_instance_; }

 private:
  UINT cb_size_ = 0;
  HINSTANCE module_instance_;
  HINSTANCE resource_instance_;
  // Guards the list of extra resource modules, which stays empty here.
  CriticalSection resource_lock_;
};

}  // namespace scanmenu
