#include "scanmenu/module/win32/reg_object.h"

#include <new>

#include "common/win32/wide.h"

namespace scanmenu {

HRESULT STDMETHODCALLTYPE CRegObject::QueryInterface(REFIID, void**) { return E_NOTIMPL; }

ULONG STDMETHODCALLTYPE CRegObject::AddRef() { return 1; }

ULONG STDMETHODCALLTYPE CRegObject::Release() { return 0; }

HRESULT STDMETHODCALLTYPE CRegObject::AddSubstitution(LPCOLESTR name, LPCOLESTR text) {
  if (name == nullptr || text == nullptr) return E_INVALIDARG;
  try {
    list_.push_back(script::Substitution{win32::FromWide(name), win32::FromWide(text)});
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRegObject::ClearSubstitutions() {
  script::SubstitutionList().swap(list_);
  return S_OK;
}

}  // namespace scanmenu
