// An instance living inside an aggregate: its IUnknown is the outer object's.
#pragma once

#include <windows.h>

#include "scanmenu/module/win32/interface_entry.h"

namespace scanmenu {

template <class Base>
class CComContainedObject final : public Base {
 public:
  explicit CComContainedObject(IUnknown* outer) : outer_(outer) {}

  ULONG STDMETHODCALLTYPE AddRef() override { return outer_->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return outer_->Release(); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override { return outer_->QueryInterface(iid, out); }

  // The aggregate's own query: the table walk, whose AddRef reaches the outer object.
  HRESULT InnerQueryInterface(REFIID iid, void** out) {
    return InternalQueryInterface(this, Base::GetEntries(), iid, out);
  }

 private:
  IUnknown* outer_;
};

}  // namespace scanmenu
