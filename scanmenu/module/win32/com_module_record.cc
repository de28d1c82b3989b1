#include "scanmenu/module/win32/com_module_record.h"

#include "scanmenu/module/win32/module_globals.h"

namespace scanmenu {
namespace {

IUnknown* CachedObject(const ClassObjectCache& cache) {
  void* encoded = cache.encoded_object.load(std::memory_order_acquire);
  return encoded == nullptr ? nullptr : static_cast<IUnknown*>(::DecodePointer(encoded));
}

}  // namespace

ComModuleRecord::ComModuleRecord(ClassEntry* const* first, ClassEntry* const* last, HINSTANCE type_library_module)
    : type_library_module_(type_library_module), first_(first), last_(last) {
  if (FAILED(object_lock_.Init())) {
    g_initFailed = true;
    return;
  }
  cb_size_ = sizeof(*this);
}

ComModuleRecord::~ComModuleRecord() { Term(); }

HRESULT ComModuleRecord::GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (!initialized()) return E_UNEXPECTED;

  for (ClassEntry* const* row = first_; row != last_; ++row) {
    ClassEntry* entry = *row;
    if (entry == nullptr || entry->create_class_object == nullptr) continue;
    if (!::IsEqualCLSID(*entry->clsid, clsid)) continue;

    HRESULT hr = S_OK;
    IUnknown* object = CachedObject(*entry->cache);
    if (object == nullptr) {
      AutoLock hold(object_lock_);
      // The lock orders the creators; a second look under it finds an
      // object another thread published meanwhile.
      if (entry->cache->encoded_object.load(std::memory_order_relaxed) == nullptr) {
        void* created = nullptr;
        hr = entry->create_class_object(entry->create_instance, IID_IUnknown, &created);
        if (SUCCEEDED(hr)) entry->cache->encoded_object.store(::EncodePointer(created), std::memory_order_release);
      }
      object = CachedObject(*entry->cache);
    }
    if (object != nullptr) hr = object->QueryInterface(iid, out);
    if (hr == S_OK && *out == nullptr) hr = CLASS_E_CLASSNOTAVAILABLE;
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

void ComModuleRecord::Term() {
  if (!initialized()) return;
  for (ClassEntry* const* row = first_; row != last_; ++row) {
    ClassEntry* entry = *row;
    if (entry == nullptr || entry->cache == nullptr) continue;
    void* encoded = entry->cache->encoded_object.exchange(nullptr, std::memory_order_acq_rel);
    if (encoded != nullptr) static_cast<IUnknown*>(::DecodePointer(encoded))->Release();
  }
  object_lock_.Term();
  cb_size_ = 0;
}

}  // namespace scanmenu
