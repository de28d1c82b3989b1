#include "scanmenu/module/win32/registration.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <memory>
#include <new>
#include <utility>

#include "common/win32/last_error.h"
#include "common/win32/module_path.h"
#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "common/win32/wide.h"
#include "resource_ids.h"
#include "scanmenu/module/registration_text.h"
#include "scanmenu/module/script/script_interpreter.h"
#include "scanmenu/module/script/win32/registry_access.h"
#include "scanmenu/module/win32/class_entry.h"
#include "scanmenu/module/win32/com_module_record.h"
#include "scanmenu/module/win32/module_globals.h"
#include "scanmenu/module/win32/reg_object.h"
#include "scanmenu/module/win32/scanmenu_module.h"

namespace scanmenu {
namespace {

constexpr wchar_t kRegistryType[] = L"REGISTRY";

// GetModuleFileNameW into a buffer of kModulePathCapacity characters.
HRESULT ModulePath(HMODULE module, wchar_t (&path)[kModulePathCapacity]) {
  DWORD length = 0;
  return hresult::HResultFromError(static_cast<std::int32_t>(win32::ModuleFileName(module, path, length)));
}

using ScopedBstr = win32::ScopedResource<BSTR, ::SysFreeString>;

// The library's attributes, handed back through ReleaseTLibAttr.
class ScopedLibAttr {
 public:
  explicit ScopedLibAttr(ITypeLib* library) : library_(library) {}
  ScopedLibAttr(const ScopedLibAttr&) = delete;
  ScopedLibAttr& operator=(const ScopedLibAttr&) = delete;
  ~ScopedLibAttr() {
    if (attr_ != nullptr) library_->ReleaseTLibAttr(attr_);
  }
  // For GetLibAttr's out-parameter: hands back the attributes held, if any,
  // and returns the address the call fills.
  TLIBATTR** put() {
    if (attr_ != nullptr) library_->ReleaseTLibAttr(std::exchange(attr_, nullptr));
    return &attr_;
  }
  const TLIBATTR* operator->() const { return attr_; }

 private:
  ITypeLib* library_;
  TLIBATTR* attr_ = nullptr;
};

// Clears the registrar's list on every way out of a script run.
class ClearOnExit {
 public:
  explicit ClearOnExit(CRegObject& registrar) : registrar_(registrar) {}
  ClearOnExit(const ClearOnExit&) = delete;
  ClearOnExit& operator=(const ClearOnExit&) = delete;
  ~ClearOnExit() { registrar_.ClearSubstitutions(); }

 private:
  CRegObject& registrar_;
};

// The script resource `resource_id` of the library at `path`, opened again
// as a data file, as zero-terminated UTF-16 in the thread's ANSI code page.
HRESULT LoadScriptText(const wchar_t* path, UINT resource_id, win32::ScopedModule& data_file,
                       std::unique_ptr<wchar_t[]>& text) {
  data_file.reset(::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!data_file) data_file.reset(::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!data_file) return win32::HResultFromLastError();
  HRSRC found = ::FindResourceW(data_file.get(), MAKEINTRESOURCEW(resource_id), kRegistryType);
  if (found == nullptr) return win32::HResultFromLastError();
  HGLOBAL loaded = ::LoadResource(data_file.get(), found);
  if (loaded == nullptr) return win32::HResultFromLastError();
  const DWORD size = ::SizeofResource(data_file.get(), found);
  if (size == 0xFFFFFFFFu) return E_OUTOFMEMORY;
  const void* bytes = ::LockResource(loaded);
  if (bytes == nullptr) return win32::HResultFromLastError();

  text.reset(new (std::nothrow) wchar_t[static_cast<std::size_t>(size) + 1]);
  if (!text) return E_OUTOFMEMORY;
  const int converted = ::MultiByteToWideChar(CP_THREAD_ACP, 0, static_cast<const char*>(bytes), static_cast<int>(size),
                                              text.get(), static_cast<int>(size) + 1);
  if (converted == 0) return win32::HResultFromLastError();
  text[converted] = L'\0';
  return S_OK;
}

}  // namespace

HRESULT RunRegistrationScript(UINT resource_id, bool do_register, const RegistrationEntry* entries) {
  CRegObject registrar;
  ClearOnExit clear(registrar);

  // The caller's additions are not checked: a missing one shows as an
  // unknown reference when the script runs.
  for (const RegistrationEntry* entry = entries; entry != nullptr && entry->name != nullptr; ++entry) {
    if (entry->text != nullptr) registrar.AddSubstitution(entry->name, entry->text);
  }
  HRESULT hr = Module().AddStandardSubstitutions(&registrar);
  if (FAILED(hr)) return hr;

  wchar_t path[kModulePathCapacity];
  hr = ModulePath(ThisModule(), path);
  if (FAILED(hr)) return hr;
  char16_t escaped[kEscapedPathCapacity];
  EscapeSingleQuotes(win32::Utf16(path), escaped);
  const wchar_t* escaped_path = win32::Wide(escaped);
  if (FAILED(registrar.AddSubstitution(L"Module", escaped_path)) ||
      FAILED(registrar.AddSubstitution(L"Module_Raw", escaped_path))) {
    return E_OUTOFMEMORY;
  }

  win32::ScopedModule data_file;
  std::unique_ptr<wchar_t[]> text;
  hr = LoadScriptText(path, resource_id, data_file, text);
  if (FAILED(hr)) return hr;

  script::Win32RegistryAccess registry;
  script::ScriptInterpreter interpreter(registry, &script::VarUI4NumberFromText);
  return interpreter.RunScript(win32::Utf16(text.get()), do_register, registrar.substitutions());
}

HRESULT UpdateHandlerRegistry(bool do_register) {
  return RunRegistrationScript(IDR_HANDLER_SCRIPT, do_register, nullptr);
}

HRESULT UpdateExplorerCommandRegistry(bool do_register) {
  return RunRegistrationScript(IDR_COMMAND_SCRIPT, do_register, nullptr);
}

HRESULT LoadTypeLibraryOf(HMODULE module, BSTR* path_out, ITypeLib** library_out) {
  if (path_out == nullptr || library_out == nullptr) return E_POINTER;
  *path_out = nullptr;
  *library_out = nullptr;

  wchar_t path[kModulePathCapacity];
  HRESULT hr = ModulePath(module, path);
  if (FAILED(hr)) return hr;

  Microsoft::WRL::ComPtr<ITypeLib> library;
  hr = ::LoadTypeLib(path, &library);
  if (FAILED(hr)) {
    char16_t beside[kModulePathCapacity];
    // No file name beside the module to try: the module's own failure stands.
    if (!TypeLibraryFileName(win32::Utf16(path), beside)) return hr;
    hr = ::LoadTypeLib(win32::Wide(beside), &library);
    if (FAILED(hr)) return hr;
    ::lstrcpynW(path, win32::Wide(beside), kModulePathCapacity);
  }
  BSTR copy = ::SysAllocString(path);
  if (copy == nullptr) return E_OUTOFMEMORY;
  *path_out = copy;
  *library_out = library.Detach();
  return hr;
}

HRESULT LoadModuleTypeLibrary(BSTR* path, ITypeLib** library) {
  return LoadTypeLibraryOf(ComModule().type_library_module(), path, library);
}

HRESULT RegisterTypeLibrary() {
  ScopedBstr path;
  Microsoft::WRL::ComPtr<ITypeLib> library;
  HRESULT hr = LoadModuleTypeLibrary(path.put(), &library);
  if (FAILED(hr)) return hr;

  // A help file named by the library gives the help directory: its name cut
  // after the last backslash, slash or colon.
  ScopedBstr help_file;
  wchar_t help_directory[kModulePathCapacity] = {};
  wchar_t* help = nullptr;
  if (SUCCEEDED(library->GetDocumentation(-1, nullptr, nullptr, nullptr, help_file.put())) &&
      help_file.get() != nullptr) {
    ::lstrcpynW(help_directory, help_file.get(), kModulePathCapacity);
    wchar_t* cut = nullptr;
    for (wchar_t* p = help_directory; *p != L'\0'; ++p) {
      if (*p == L'\\' || *p == L'/' || *p == L':') cut = p;
    }
    if (cut != nullptr) cut[1] = L'\0';
    help = help_directory;
  }
  return ::RegisterTypeLib(library.Get(), path.get(), help);
}

HRESULT UnregisterTypeLibrary() {
  ScopedBstr path;
  Microsoft::WRL::ComPtr<ITypeLib> library;
  HRESULT hr = LoadModuleTypeLibrary(path.put(), &library);
  if (FAILED(hr)) return hr;

  ScopedLibAttr attr(library.Get());
  hr = library->GetLibAttr(attr.put());
  if (FAILED(hr)) return hr;
  return ::UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
}

namespace {
const RegistrationEntry kModuleScriptEntries[] = {
    {L"APPID", kModuleAppId},
    {nullptr, nullptr},
};

// The handler's value among the shell's approved extensions: written as the
// last step of registration, removed as the first of unregistration. A value
// or key that is not there is nothing to remove.
HRESULT ApproveHandler(bool approve) {
  win32::RegistryKey key;
  LONG error = ERROR_SUCCESS;
  if (approve) {
    error = key.Create(HKEY_LOCAL_MACHINE, kApprovedExtensionsKey, KEY_SET_VALUE);
    if (error == ERROR_SUCCESS) error = key.WriteText(kHandlerClassIdText, kHandlerDescription);
  } else {
    error = key.Open(HKEY_LOCAL_MACHINE, kApprovedExtensionsKey, KEY_SET_VALUE);
    if (error == ERROR_SUCCESS) {
      error = ::RegDeleteValueW(key.get(), win32::Wide(kHandlerClassIdText));
    }
    if (error == ERROR_FILE_NOT_FOUND) error = ERROR_SUCCESS;
  }
  return hresult::HResultFromError(error);
}

// The class scripts, the type library and the module script, taken away in
// that order; the first failure ends it.
HRESULT UnregisterScriptsAndTypeLibrary() {
  for (ClassEntry* const entry : ComModule()) {
    if (entry == nullptr || entry->update_registry == nullptr) continue;
    const HRESULT hr = entry->update_registry(false);
    if (FAILED(hr)) return hr;
  }
  const HRESULT hr = UnregisterTypeLibrary();
  if (FAILED(hr)) return hr;
  return RunRegistrationScript(IDR_MODULE_SCRIPT, false, kModuleScriptEntries);
}

}  // namespace

// The module script, the class scripts in table order, the type library,
// then the approval; the first failure ends the sequence. What a failed step
// leaves behind:
// - a failed script: the interpreter has already taken back the root block
//   that failed; what the earlier steps wrote stays (DllInstall then runs the
//   whole unregistration, RegisterServer itself does not);
// - a failed type-library registration: the scripts' keys stay;
// - a refused approval: everything before it is taken back, so that no
//   handler is left registered without its approval.
HRESULT RegisterServer() {
  HRESULT hr = RunRegistrationScript(IDR_MODULE_SCRIPT, true, kModuleScriptEntries);
  if (FAILED(hr)) return hr;
  for (ClassEntry* const entry : ComModule()) {
    if (entry == nullptr || entry->update_registry == nullptr) continue;
    hr = entry->update_registry(true);
    if (FAILED(hr)) return hr;
  }
  hr = RegisterTypeLibrary();
  if (FAILED(hr)) return hr;
  hr = ApproveHandler(true);
  // Without the approval, the rest goes too; the approval's error is the result.
  if (FAILED(hr)) UnregisterScriptsAndTypeLibrary();
  return hr;
}

HRESULT UnregisterServer() {
  const HRESULT hr = ApproveHandler(false);
  if (FAILED(hr)) return hr;
  return UnregisterScriptsAndTypeLibrary();
}

}  // namespace scanmenu
