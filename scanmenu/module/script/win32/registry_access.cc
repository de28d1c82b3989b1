#include "scanmenu/module/script/win32/registry_access.h"

#include <windows.h>
#include <oleauto.h>

#include "common/win32/wide.h"

namespace scanmenu::script {
namespace {

HKEY ToHkey(RegistryKey key) { return reinterpret_cast<HKEY>(key); }
RegistryKey FromHkey(HKEY key) { return reinterpret_cast<RegistryKey>(key); }

using RegDeleteKeyExWFunction = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

// Looked up once; older systems do not export it.
RegDeleteKeyExWFunction RegDeleteKeyExWIfPresent() {
  static const RegDeleteKeyExWFunction function = [] {
    const HMODULE advapi = GetModuleHandleW(L"Advapi32.dll");
    if (advapi == nullptr) return RegDeleteKeyExWFunction{nullptr};
    return reinterpret_cast<RegDeleteKeyExWFunction>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExW")));
  }();
  return function;
}

}  // namespace

std::int32_t Win32RegistryAccess::OpenKey(RegistryKey parent, const char16_t* subkey, std::uint32_t access,
                                          RegistryKey* key) {
  HKEY opened = nullptr;
  const LONG error = RegOpenKeyExW(ToHkey(parent), win32::Wide(subkey), 0, access, &opened);
  *key = error == ERROR_SUCCESS ? FromHkey(opened) : kNoKey;
  return error;
}

std::int32_t Win32RegistryAccess::CreateKey(RegistryKey parent, const char16_t* name, std::uint32_t access,
                                            RegistryKey* key) {
  HKEY created = nullptr;
  const LONG error = RegCreateKeyExW(ToHkey(parent), win32::Wide(name), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                     nullptr, &created, nullptr);
  *key = error == ERROR_SUCCESS ? FromHkey(created) : kNoKey;
  return error;
}

std::int32_t Win32RegistryAccess::CloseKey(RegistryKey key) { return RegCloseKey(ToHkey(key)); }

std::int32_t Win32RegistryAccess::DeleteKey(RegistryKey parent, const char16_t* name) {
  if (const RegDeleteKeyExWFunction delete_key_ex = RegDeleteKeyExWIfPresent()) {
    return delete_key_ex(ToHkey(parent), win32::Wide(name), 0, 0);
  }
  return RegDeleteKeyW(ToHkey(parent), win32::Wide(name));
}

std::int32_t Win32RegistryAccess::FirstSubkeyName(RegistryKey key, char16_t* name, std::uint32_t capacity) {
  DWORD length = capacity;
  return RegEnumKeyExW(ToHkey(key), 0, win32::Wide(name), &length, nullptr, nullptr, nullptr, nullptr);
}

std::int32_t Win32RegistryAccess::QuerySubkeyCount(RegistryKey key, std::uint32_t* count) {
  DWORD subkeys = 0;
  const LONG error = RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr);
  *count = subkeys;
  return error;
}

std::int32_t Win32RegistryAccess::SetValue(RegistryKey key, const char16_t* name, std::uint32_t type,
                                           const std::uint8_t* data, std::uint32_t size) {
  return RegSetValueExW(ToHkey(key), win32::Wide(name), 0, type, data, size);
}

std::int32_t Win32RegistryAccess::DeleteValue(RegistryKey key, const char16_t* name) {
  return RegDeleteValueW(ToHkey(key), win32::Wide(name));
}

HResult VarUI4NumberFromText(const char16_t* text, std::uint32_t* value) {
  ULONG number = 0;
  // The declaration takes a non-const string; the text is only read.
  const HRESULT hr = VarUI4FromStr(const_cast<OLECHAR*>(win32::Wide(text)), 0, 0, &number);
  if (SUCCEEDED(hr)) *value = number;
  return hr;
}

}  // namespace scanmenu::script
