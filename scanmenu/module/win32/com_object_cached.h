// The wrapper of a class object that the module keeps cached. The cache's own
// reference holds no module lock; every further reference holds one.
#pragma once

#include <windows.h>

#include "scanmenu/module/win32/interface_entry.h"
#include "scanmenu/module/win32/module_globals.h"
#include "scanmenu/module/win32/object_root.h"
#include "scanmenu/module/win32/scanmenu_module.h"

namespace scanmenu {

template <class Base>
class CComObjectCached final : public Base {
 public:
  CComObjectCached() = default;
  ~CComObjectCached() { this->ref_count_ = kDestroyedReferenceCount; }

  ULONG STDMETHODCALLTYPE AddRef() override {
    const ULONG count = this->InternalAddRef();
    if (count == 2) Module().LockModule();
    return count;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = this->InternalRelease();
    if (count == 0) {
      delete this;
    } else if (count == 1) {
      Module().UnlockModule();
    }
    return count;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return InternalQueryInterface(this, Base::GetEntries(), iid, out);
  }
};

}  // namespace scanmenu
