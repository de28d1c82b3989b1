// IDispatch for a dual interface, served from the module's type library.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include "scanmenu/module/win32/type_info_holder.h"

namespace scanmenu {

template <class Interface, const IID* InterfaceId>
class CDispatchImpl : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return Holder().GetTypeInfo(out);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    Microsoft::WRL::ComPtr<ITypeInfo> info;
    const HRESULT hr = Holder().GetTypeInfo(&info);
    if (FAILED(hr)) return hr;
    return info->GetIDsOfNames(names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* arg_error) override {
    Microsoft::WRL::ComPtr<ITypeInfo> info;
    const HRESULT hr = Holder().GetTypeInfo(&info);
    if (FAILED(hr)) return hr;
    return info->Invoke(static_cast<Interface*>(this), member, flags, params, result, exception, arg_error);
  }

 protected:
  CDispatchImpl() = default;
  ~CDispatchImpl() = default;

 private:
  static TypeInfoHolder& Holder() {
    static TypeInfoHolder holder(*InterfaceId);
    return holder;
  }
};

}  // namespace scanmenu
