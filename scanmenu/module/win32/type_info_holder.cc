#include "scanmenu/module/win32/type_info_holder.h"

#include <wrl/client.h>

#include "common/win32/last_error.h"
#include "common/win32/module_path.h"
#include "scanmenu/module/win32/com_module_record.h"
#include "scanmenu/module/win32/module_globals.h"
#include "scanmenu/module/win32/scanmenu_module.h"

namespace scanmenu {
namespace {

HRESULT LoadOwnTypeLibrary(ITypeLib** out) {
  wchar_t path[MAX_PATH];
  DWORD length = 0;
  const DWORD error = win32::ModuleFileName(ComModule().type_library_module(), path, length);
  if (error != ERROR_SUCCESS) return hresult::HResultFromError(static_cast<std::int32_t>(error));
  return ::LoadTypeLibEx(path, REGKIND_NONE, out);
}

}  // namespace

HRESULT TypeInfoHolder::GetTypeInfo(ITypeInfo** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  CVeltraneScanmenuModule& module = Module();
  if (!module.initialized()) return E_UNEXPECTED;

  AutoLock hold(module.lock());
  if (info_ == nullptr) {
    Microsoft::WRL::ComPtr<ITypeLib> library;
    HRESULT hr = LoadOwnTypeLibrary(&library);
    if (FAILED(hr)) return hr;
    Microsoft::WRL::ComPtr<ITypeInfo> info;
    hr = library->GetTypeInfoOfGuid(iid_, &info);
    if (FAILED(hr)) return hr;
    hr = module.AddTermFunc(&TypeInfoHolder::Cleanup, reinterpret_cast<DWORD_PTR>(this));
    if (FAILED(hr)) return hr;
    info_ = info.Detach();
  }
  info_->AddRef();
  *out = info_;
  return S_OK;
}

void TypeInfoHolder::Cleanup(DWORD_PTR context) {
  auto* holder = reinterpret_cast<TypeInfoHolder*>(context);
  if (holder->info_ != nullptr) {
    holder->info_->Release();
    holder->info_ = nullptr;
  }
}

}  // namespace scanmenu
