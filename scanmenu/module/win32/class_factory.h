// The class object of a creatable class: IClassFactory over the class's
// instance creator.
#pragma once

#include <windows.h>

#include "scanmenu/module/win32/class_entry.h"
#include "scanmenu/module/win32/critical_section.h"
#include "scanmenu/module/win32/interface_entry.h"
#include "scanmenu/module/win32/object_root.h"

namespace scanmenu {

class CComClassFactory : public IClassFactory, public CObjectRoot<MultiThreadModel> {
 public:
  static const InterfaceEntry* GetEntries();

  void SetCreator(InstanceCreator creator) { creator_ = creator; }
  // The object's own critical section (spin count 0).
  HRESULT InitLock() { return lock_.Init(); }

  // IClassFactory
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 protected:
  CComClassFactory() = default;
  ~CComClassFactory() = default;

 private:
  CriticalSection lock_;
  InstanceCreator creator_ = nullptr;
};

// The class-object creator of every ClassEntry: a cached CComClassFactory.
// On success the one reference belongs to the caller (the cache).
HRESULT CreateClassObject(InstanceCreator creator, REFIID iid, void** out);

}  // namespace scanmenu
