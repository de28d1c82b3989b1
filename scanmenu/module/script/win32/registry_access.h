// The script interpreter's registry operations on the Windows registry.
#pragma once

#include <cstdint>

#include "scanmenu/module/script/hresult.h"
#include "scanmenu/module/script/registry_access.h"

namespace scanmenu::script {

class Win32RegistryAccess final : public RegistryAccess {
 public:
  std::int32_t OpenKey(RegistryKey parent, const char16_t* subkey, std::uint32_t access, RegistryKey* key) override;
  std::int32_t CreateKey(RegistryKey parent, const char16_t* name, std::uint32_t access, RegistryKey* key) override;
  std::int32_t CloseKey(RegistryKey key) override;
  // RegDeleteKeyExW where Advapi32 exports it, else RegDeleteKeyW.
  std::int32_t DeleteKey(RegistryKey parent, const char16_t* name) override;
  std::int32_t FirstSubkeyName(RegistryKey key, char16_t* name, std::uint32_t capacity) override;
  std::int32_t QuerySubkeyCount(RegistryKey key, std::uint32_t* count) override;
  std::int32_t SetValue(RegistryKey key, const char16_t* name, std::uint32_t type, const std::uint8_t* data,
                        std::uint32_t size) override;
  std::int32_t DeleteValue(RegistryKey key, const char16_t* name) override;
};

// A number value's text through VarUI4FromStr with locale 0 and no flags.
HResult VarUI4NumberFromText(const char16_t* text, std::uint32_t* value);

}  // namespace scanmenu::script
