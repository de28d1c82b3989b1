#include "scanmenu/module/win32/class_factory.h"

#include <new>

#include "scanmenu/module/win32/com_object_cached.h"
#include "scanmenu/module/win32/module_globals.h"
#include "scanmenu/module/win32/scanmenu_module.h"

namespace scanmenu {

const InterfaceEntry* CComClassFactory::GetEntries() {
  static const InterfaceEntry kEntries[] = {
      {&IID_IClassFactory, OffsetOfClass<IClassFactory, CComClassFactory>(), kSimpleEntry},
      {nullptr, 0, 0},
  };
  return kEntries;
}

HRESULT CComClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (outer != nullptr && !::IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  if (creator_ == nullptr) return E_UNEXPECTED;
  return creator_(outer, iid, out);
}

HRESULT CComClassFactory::LockServer(BOOL lock) {
  if (lock) {
    Module().LockModule();
  } else {
    Module().UnlockModule();
  }
  return S_OK;
}

HRESULT CreateClassObject(InstanceCreator creator, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  auto* factory = new (std::nothrow) CComObjectCached<CComClassFactory>();
  if (factory == nullptr) return E_OUTOFMEMORY;
  factory->SetCreator(creator);
  HRESULT hr = factory->InitLock();
  if (FAILED(hr)) {
    delete factory;
    return hr;
  }
  hr = factory->QueryInterface(iid, out);
  if (FAILED(hr)) delete factory;
  return hr;
}

}  // namespace scanmenu
