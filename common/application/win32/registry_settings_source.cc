#include "common/application/win32/registry_settings_source.h"

#include "common/application/contract.h"
#include "common/win32/registry_key.h"

namespace application {

namespace {

HKEY Hive(RegistryRoot root) { return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

// The 64-bit registry view, also from the 32-bit Scanmenu.dll in a 32-bit
// program: the application is a 64-bit program and writes its entries there
// (its uninstall entry, under a key that WOW64 redirects). A 64-bit process
// sees that view anyway.
constexpr REGSAM kReadAccess = KEY_QUERY_VALUE | KEY_WOW64_64KEY;

}  // namespace

std::optional<std::u16string> RegistrySettingsSource::ReadText(RegistryRoot root, std::u16string_view key_path,
                                                               std::u16string_view value_name,
                                                               std::size_t buffer_bytes) const {
  win32::RegistryKey key;
  if (key.Open(Hive(root), key_path, kReadAccess) != ERROR_SUCCESS) return std::nullopt;
  return key.ReadText(value_name, buffer_bytes);
}

std::optional<std::uint32_t> RegistrySettingsSource::ReadNumber(RegistryRoot root, std::u16string_view key_path,
                                                                std::u16string_view value_name) const {
  win32::RegistryKey key;
  if (key.Open(Hive(root), key_path, kReadAccess) != ERROR_SUCCESS) return std::nullopt;
  const std::u16string name(value_name);
  DWORD type = REG_NONE;
  DWORD number = 0;
  DWORD size = sizeof number;
  // Text does not fit these four bytes (ERROR_MORE_DATA) unless it is tiny;
  // either way only a DWORD is taken here.
  if (::RegQueryValueExW(key.get(), win32::Wide(name), nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) ==
          ERROR_SUCCESS &&
      type == REG_DWORD && size == sizeof number) {
    return number;
  }
  const std::optional<std::u16string> text = key.ReadText(value_name, kSettingBytes);
  return text ? ParseCount(*text) : std::nullopt;
}

const SettingsSource& SchedulerSettings() {
  static const RegistrySettingsSource registry;
  static const PolicyFirstSettings settings(registry);
  return settings;
}

}  // namespace application
