// The wrapper of an aggregated instance: its own non-delegating IUnknown and
// count, and the instance inside it delegating to the outer object.
#pragma once

#include <windows.h>

#include <new>

#include "scanmenu/module/win32/com_contained_object.h"
#include "scanmenu/module/win32/module_globals.h"
#include "scanmenu/module/win32/object_root.h"
#include "scanmenu/module/win32/scanmenu_module.h"

namespace scanmenu {

template <class Base>
class CComAggObject final : public IUnknown, public CObjectRoot<SingleThreadModel> {
 public:
  explicit CComAggObject(IUnknown* outer) : contained_(outer) { Module().LockModule(); }
  ~CComAggObject() {
    ref_count_ = kDestroyedReferenceCount;
    Module().UnlockModule();
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return InternalAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = InternalRelease();
    if (count == 0) {
      Module().LockModule();
      delete this;
      Module().UnlockModule();
    }
    return count;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (::IsEqualIID(iid, IID_IUnknown)) {
      *out = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return contained_.InnerQueryInterface(iid, out);
  }

  static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    auto* object = new (std::nothrow) CComAggObject<Base>(outer);
    if (object == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(iid, out);
    if (FAILED(hr)) delete object;
    return hr;
  }

 private:
  CComContainedObject<Base> contained_;
};

}  // namespace scanmenu
