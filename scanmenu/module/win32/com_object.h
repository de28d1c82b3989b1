// The wrapper of a stand-alone instance: the object's own count, its table
// walk, and one module lock for its lifetime.
#pragma once

#include <windows.h>

#include <new>

#include "scanmenu/module/win32/interface_entry.h"
#include "scanmenu/module/win32/module_globals.h"
#include "scanmenu/module/win32/object_root.h"
#include "scanmenu/module/win32/scanmenu_module.h"

namespace scanmenu {

template <class Base>
class CComObject final : public Base {
 public:
  CComObject() { Module().LockModule(); }
  // Runs before the members of Base are freed, which the lock taken in
  // Release covers.
  ~CComObject() {
    this->ref_count_ = kDestroyedReferenceCount;
    Module().UnlockModule();
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return this->InternalAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = this->InternalRelease();
    if (count == 0) {
      Module().LockModule();
      delete this;
      Module().UnlockModule();
    }
    return count;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return InternalQueryInterface(this, Base::GetEntries(), iid, out);
  }

  static HRESULT CreateInstance(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    auto* object = new (std::nothrow) CComObject<Base>();
    if (object == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(iid, out);
    if (FAILED(hr)) delete object;
    return hr;
  }
};

}  // namespace scanmenu
