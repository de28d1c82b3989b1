#include "scanmenu/module/win32/interface_entry.h"

namespace scanmenu {
namespace {

IUnknown* BaseAt(void* object, const InterfaceEntry& entry) {
  return reinterpret_cast<IUnknown*>(static_cast<BYTE*>(object) + entry.offset);
}

}  // namespace

HRESULT InternalQueryInterface(void* object, const InterfaceEntry* entries, REFIID iid, void** out) {
  if (object == nullptr || entries == nullptr) return E_INVALIDARG;
  if (out == nullptr) return E_POINTER;

  if (::IsEqualGUID(iid, IID_IUnknown) && entries->kind != 0) {
    IUnknown* identity = BaseAt(object, *entries);
    identity->AddRef();
    *out = identity;
    return S_OK;
  }
  for (const InterfaceEntry* entry = entries; entry->kind != 0; ++entry) {
    if (entry->iid != nullptr && ::IsEqualGUID(iid, *entry->iid)) {
      IUnknown* base = BaseAt(object, *entry);
      base->AddRef();
      *out = base;
      return S_OK;
    }
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

}  // namespace scanmenu
