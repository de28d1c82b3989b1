// The least a context-menu handler can be, as an in-process COM server of its
// own, for the handler-cycle benchmark: one class object, one handler class
// that loads the icon and draws the item bitmap when made, reads the first
// path of the drop list in Initialize and inserts the item in
// QueryContextMenu. Registered and created like Scanmenu.dll's handler, so
// that the benchmark compares what each does beyond COM's own work.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <new>

#include "minimal_handler.h"
#include "scanmenu/resources/resource_ids.h"
#include "tests/support/win32/adopt.h"

namespace {

LONG g_objects = 0;
constexpr wchar_t kMenuText[] = L"Scan with Quenor Clean";

class MinimalHandler final : public IShellExtInit, public IContextMenu {
 public:
  MinimalHandler() {
    ::InterlockedIncrement(&g_objects);
    // The icon comes from the real library's resources, loaded in the process.
    const SIZE size{::GetSystemMetrics(SM_CXMENUCHECK), ::GetSystemMetrics(SM_CYMENUCHECK)};
    icon_ = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(L"Scanmenu.dll"), MAKEINTRESOURCEW(IDI_SCAN_MENU),
                                            IMAGE_ICON, size.cx, size.cy, LR_LOADTRANSPARENT));
    HDC memory = ::CreateCompatibleDC(nullptr);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = size.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    bitmap_ = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap_);
    ::DrawIconEx(memory, 0, 0, icon_, size.cx, size.cy, 0, nullptr, DI_NORMAL);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
  }
  ~MinimalHandler() {
    ::DeleteObject(bitmap_);
    ::DestroyIcon(icon_);
    ::InterlockedDecrement(&g_objects);
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IShellExtInit) {
      *out = static_cast<IShellExtInit*>(this);
    } else if (iid == IID_IContextMenu) {
      *out = static_cast<IContextMenu*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) override {
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (data == nullptr || FAILED(data->GetData(&format, &medium))) return E_INVALIDARG;
    if (void* drop = ::GlobalLock(medium.hGlobal)) {
      length_ = ::DragQueryFileW(static_cast<HDROP>(drop), 0, path_, MAX_PATH);
      ::GlobalUnlock(medium.hGlobal);
    }
    ::ReleaseStgMedium(&medium);
    return length_ != 0 ? S_OK : E_INVALIDARG;
  }

  STDMETHODIMP QueryContextMenu(HMENU menu, UINT position, UINT first_id, UINT, UINT) override {
    MENUITEMINFOW item = {};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_BITMAP | MIIM_STRING | MIIM_ID;
    item.wID = first_id;
    item.dwTypeData = const_cast<wchar_t*>(kMenuText);
    item.hbmpItem = bitmap_;
    ::InsertMenuItemW(menu, position, TRUE, &item);
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
  }
  STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO*) override { return E_NOTIMPL; }
  STDMETHODIMP GetCommandString(UINT_PTR, UINT, UINT*, CHAR*, UINT) override { return E_NOTIMPL; }

 private:
  ULONG references_ = 1;
  HICON icon_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  wchar_t path_[MAX_PATH] = {};
  UINT length_ = 0;
};

class Factory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IClassFactory) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = this;
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    const Microsoft::WRL::ComPtr<IShellExtInit> handler =
        test_support::Adopt<IShellExtInit>(new (std::nothrow) MinimalHandler);
    if (!handler) return E_OUTOFMEMORY;
    return handler->QueryInterface(iid, out);
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (clsid != kMinimalMenuHandlerClass) {
    *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return g_factory.QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }
