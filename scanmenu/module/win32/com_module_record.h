// The table of creatable classes and their cached class objects.
#pragma once

#include <windows.h>

#include "scanmenu/module/win32/class_entry.h"
#include "scanmenu/module/win32/critical_section.h"

namespace scanmenu {

class ComModuleRecord {
 public:
  ComModuleRecord(ClassEntry* const* first, ClassEntry* const* last, HINSTANCE type_library_module);
  ComModuleRecord(const ComModuleRecord&) = delete;
  ComModuleRecord& operator=(const ComModuleRecord&) = delete;
  ~ComModuleRecord();

  // DllGetClassObject: the cached class object of `clsid`, created on first use.
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out);

  // Releases every cached class object; done at unload.
  void Term();

  bool initialized() const { return cb_size_ != 0; }
  HINSTANCE type_library_module() const { return type_library_module_; }
  ClassEntry* const* begin() const { return first_; }
  ClassEntry* const* end() const { return last_; }

 private:
  UINT cb_size_ = 0;
  HINSTANCE type_library_module_;
  ClassEntry* const* first_;
  ClassEntry* const* last_;
  // Serialises the first creation of each class object.
  CriticalSection object_lock_;
};

}  // namespace scanmenu
