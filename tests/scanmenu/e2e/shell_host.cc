#include "scanmenu/e2e/shell_host.h"

#include <shellapi.h>

#include <cstring>
#include <new>
#include <utility>

#include "scanmenu_idl.h"
#include "support/win32/adopt.h"
#include "support/win32/process_runner.h"

namespace shell_host {
namespace {

constexpr DWORD kRegsvr32TimeoutMs = 60000;

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// Only CF_HDROP in global memory: a fresh copy of the block for every GetData.
class DropDataObject final : public IDataObject {
 public:
  DropDataObject(std::string block, bool offer) : block_(std::move(block)), offer_(offer) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
      *out = static_cast<IDataObject*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = --refs_;
    if (count == 0) delete this;
    return count;
  }

  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    const HRESULT offered = QueryGetData(format);
    if (offered != S_OK) return offered;
    HGLOBAL global = ::GlobalAlloc(GMEM_MOVEABLE, block_.size());
    if (global == nullptr) return E_OUTOFMEMORY;
    if (!block_.empty()) {
      void* bytes = ::GlobalLock(global);
      if (bytes == nullptr) {
        ::GlobalFree(global);
        return E_OUTOFMEMORY;
      }
      std::memcpy(bytes, block_.data(), block_.size());
      ::GlobalUnlock(global);
    }
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = global;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
    if (format == nullptr) return E_INVALIDARG;
    if (!offer_ || format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
    if ((format->tymed & TYMED_HGLOBAL) == 0) return DV_E_TYMED;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    if (out != nullptr) out->ptd = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC** out) override {
    if (out != nullptr) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

 private:
  ULONG refs_ = 1;
  std::string block_;
  bool offer_;
};

template <typename Function>
Function Export(const char* name) {
  HMODULE module = ::GetModuleHandleW(L"Scanmenu.dll");
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        ::DeleteFileW(path.c_str());
      }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  ::RemoveDirectoryW(folder.c_str());
}

// regsvr32 /s from the system folder on Scanmenu.dll; true when it exits with 0.
bool Regsvr32(const wchar_t* switches) {
  const std::wstring command = L"C:\\windows\\system32\\regsvr32.exe /s " + std::wstring(switches) +
                               test_support::Quoted(ProgramFolder() + L"Scanmenu.dll");
  const test_support::ProcessResult result = test_support::RunProcess(command, kRegsvr32TimeoutMs);
  return result.started && !result.timed_out && result.exit_code == 0;
}

}  // namespace

ClassRegistration::ClassRegistration() { ok_ = Regsvr32(L""); }

ClassRegistration::~ClassRegistration() { Regsvr32(L"/u "); }

std::string DropBlock(const std::vector<std::wstring>& paths, bool wide) {
  // Every path with its null, then the empty path that ends the list.
  std::string list;
  for (const std::wstring& path : paths) {
    if (wide) {
      list.append(reinterpret_cast<const char*>(path.c_str()), (path.size() + 1) * sizeof(wchar_t));
    } else {
      char narrow[MAX_PATH * 4] = {};
      ::WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, narrow, sizeof(narrow), nullptr, nullptr);
      list.append(narrow, std::strlen(narrow) + 1);
    }
  }
  list.append(wide ? sizeof(wchar_t) : 1, '\0');
  DROPFILES header = {};
  header.pFiles = sizeof(DROPFILES);
  header.fWide = wide ? TRUE : FALSE;
  return std::string(reinterpret_cast<const char*>(&header), sizeof(header)) + list;
}

Microsoft::WRL::ComPtr<IDataObject> NewDropDataObject(const std::vector<std::wstring>& paths, bool offer_drop_list,
                                                      bool wide) {
  return test_support::Adopt<IDataObject>(new DropDataObject(DropBlock(paths, wide), offer_drop_list));
}

Microsoft::WRL::ComPtr<IDataObject> NewRawDropDataObject(std::string block) {
  return test_support::Adopt<IDataObject>(new DropDataObject(std::move(block), true));
}

Microsoft::WRL::ComPtr<IShellExtInit> CreateHandler(HRESULT* result) {
  Microsoft::WRL::ComPtr<IShellExtInit> handler;
  const HRESULT hr = ::CoCreateInstance(CLSID_VeltraneContextMenuHandler, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IShellExtInit, reinterpret_cast<void**>(handler.GetAddressOf()));
  if (result != nullptr) *result = hr;
  return handler;
}

Microsoft::WRL::ComPtr<IContextMenu> NewContextMenu(const std::vector<std::wstring>& paths) {
  Microsoft::WRL::ComPtr<IContextMenu> menu;
  const Microsoft::WRL::ComPtr<IShellExtInit> handler = CreateHandler();
  if (handler == nullptr) return menu;
  if (SUCCEEDED(handler->Initialize(nullptr, NewDropDataObject(paths).Get(), nullptr))) {
    handler->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(menu.GetAddressOf()));
  }
  return menu;
}

HRESULT CallDllCanUnloadNow() {
  auto function = Export<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow");
  return function != nullptr ? function() : E_UNEXPECTED;
}

HRESULT CallDllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  auto function = Export<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject");
  return function != nullptr ? function(clsid, iid, out) : E_UNEXPECTED;
}

HRESULT InvokeVerb(IUnknown* handler, const char* verb) {
  Microsoft::WRL::ComPtr<IContextMenu> menu;
  HRESULT hr = handler->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(menu.GetAddressOf()));
  if (FAILED(hr)) return hr;
  CMINVOKECOMMANDINFO info = {};
  info.cbSize = sizeof(info);
  info.lpVerb = verb;
  info.nShow = SW_SHOWNORMAL;
  return menu->InvokeCommand(&info);
}

HRESULT InvokeItem(IUnknown* handler) { return InvokeVerb(handler, MAKEINTRESOURCEA(0)); }

TempFolder::TempFolder(const std::wstring& name) {
  path_ = TempDirectory() + name + L" " + std::to_wstring(::GetCurrentProcessId());
  RemoveTree(path_);
  ::CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::wstring TempFolder::AddFile(const std::wstring& name) {
  const std::wstring path = path_ + L"\\" + name;
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  return path;
}

std::wstring TempFolder::AddFolder(const std::wstring& name) {
  const std::wstring path = path_ + L"\\" + name;
  ::CreateDirectoryW(path.c_str(), nullptr);
  return path;
}

std::string ReadFileBytes(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read != 0) bytes.append(buffer, read);
  ::CloseHandle(file);
  return bytes;
}

std::wstring TempDirectory() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  return std::wstring(buffer, length);
}

}  // namespace shell_host
