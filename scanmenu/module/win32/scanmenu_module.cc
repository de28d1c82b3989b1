#include "scanmenu/module/win32/scanmenu_module.h"

#include <new>

#include "scanmenu/module/win32/module_globals.h"
#include "scanmenu/module/win32/reg_object.h"

namespace scanmenu {

CVeltraneScanmenuModule::CVeltraneScanmenuModule(const GUID& libid) : m_libid(libid) {
  if (FAILED(m_lock.Init())) {
    g_initFailed = true;
    return;
  }
  m_cbSize = sizeof(*this);
}

CVeltraneScanmenuModule::~CVeltraneScanmenuModule() { Term(); }

LONG CVeltraneScanmenuModule::LockModule() { return ::InterlockedIncrement(&m_lockCount); }

LONG CVeltraneScanmenuModule::UnlockModule() { return ::InterlockedDecrement(&m_lockCount); }

LONG CVeltraneScanmenuModule::LockCount() const { return m_lockCount; }

HRESULT CVeltraneScanmenuModule::GetGITPtr(IGlobalInterfaceTable** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (m_git == nullptr) {
    const HRESULT hr = ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&m_git));
    if (FAILED(hr)) return hr;
  }
  *out = m_git;
  m_git->AddRef();
  return S_OK;
}

HRESULT CVeltraneScanmenuModule::AddStandardSubstitutions(IRegistrarBase* registrar) {
  return registrar->AddSubstitution(L"APPID", kModuleAppId);
}

HRESULT CVeltraneScanmenuModule::AddTermFunc(TermFunc func, DWORD_PTR context) {
  if (!initialized()) return E_UNEXPECTED;
  auto* node = new (std::nothrow) TermNode{func, context, nullptr};
  if (node == nullptr) return E_OUTOFMEMORY;
  AutoLock hold(m_lock);
  node->next = m_termList;
  m_termList = node;
  return S_OK;
}

void CVeltraneScanmenuModule::Term() {
  if (!initialized()) return;
  while (m_termList != nullptr) {
    TermNode* node = m_termList;
    m_termList = node->next;
    node->func(node->context);
    delete node;
  }
  if (m_git != nullptr) {
    m_git->Release();
    m_git = nullptr;
  }
  m_lock.Term();
  m_cbSize = 0;
}

}  // namespace scanmenu
