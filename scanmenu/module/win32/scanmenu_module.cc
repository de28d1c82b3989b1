#include "scanmenu/module/win32/scanmenu_module.h"

#include <new>

#include "scanmenu/module/win32/module_globals.h"
#include "scanmenu/module/win32/reg_object.h"

namespace scanmenu {

CVeltraneScanmenuModule::CVeltraneScanmenuModule(const GUID& libid) : libid_(libid) {
  if (FAILED(lock_.Init())) {
    g_initFailed = true;
    return;
  }
  cb_size_ = sizeof(*this);
}

CVeltraneScanmenuModule::~CVeltraneScanmenuModule() { Term(); }

LONG CVeltraneScanmenuModule::LockModule() { return ::InterlockedIncrement(&lock_count_); }

LONG CVeltraneScanmenuModule::UnlockModule() { return ::InterlockedDecrement(&lock_count_); }

LONG CVeltraneScanmenuModule::LockCount() const { return lock_count_; }

HRESULT CVeltraneScanmenuModule::GetGITPtr(IGlobalInterfaceTable** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (git_ == nullptr) {
    const HRESULT hr = ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IGlobalInterfaceTable, reinterpret_cast<void**>(git_.GetAddressOf()));
    if (FAILED(hr)) return hr;
  }
  return git_.CopyTo(out);
}

HRESULT CVeltraneScanmenuModule::AddStandardSubstitutions(IRegistrarBase* registrar) {
  return registrar->AddSubstitution(L"APPID", kModuleAppId);
}

HRESULT CVeltraneScanmenuModule::AddTermFunc(TermFunc func, DWORD_PTR context) {
  if (!initialized()) return E_UNEXPECTED;
  auto* node = new (std::nothrow) TermNode{func, context, nullptr};
  if (node == nullptr) return E_OUTOFMEMORY;
  AutoLock hold(lock_);
  node->next = term_list_;
  term_list_ = node;
  return S_OK;
}

void CVeltraneScanmenuModule::Term() {
  if (!initialized()) return;
  while (term_list_ != nullptr) {
    TermNode* node = term_list_;
    term_list_ = node->next;
    node->func(node->context);
    delete node;
  }
  git_.Reset();
  lock_.Term();
  cb_size_ = 0;
}

}  // namespace scanmenu
