// An instance living inside an aggregate: its IUnknown is the outer object's.
#pragma once

#include <windows.h>

#include "scanmenu/module/win32/interface_entry.h"

namespace scanmenu {

template <class Base>
class CComContainedObject final : public Base {
 public:
  explicit CComContainedObject(IUnknown* outer) : m_outer(outer) {}

  ULONG STDMETHODCALLTYPE AddRef() override { return m_outer->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return m_outer->Release(); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return m_outer->QueryInterface(iid, out);
  }

  // The aggregate's own query: the table walk, whose AddRef reaches the outer object.
  HRESULT InnerQueryInterface(REFIID iid, void** out) {
    return InternalQueryInterface(this, Base::GetEntries(), iid, out);
  }

 private:
  IUnknown* m_outer;
};

}  // namespace scanmenu
