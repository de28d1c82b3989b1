#include "common/application/win32/registry_settings_source.h"

#include "common/win32/registry_key.h"

namespace application {

std::optional<std::u16string> RegistrySettingsSource::ReadText(RegistryRoot root,
                                                               std::u16string_view key_path,
                                                               std::u16string_view value_name,
                                                               std::size_t buffer_bytes) const {
  win32::RegistryKey key;
  const HKEY hive = root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  if (key.Open(hive, key_path, KEY_QUERY_VALUE) != ERROR_SUCCESS) return std::nullopt;
  return key.ReadText(value_name, buffer_bytes);
}

}  // namespace application
