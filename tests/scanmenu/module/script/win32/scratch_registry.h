// The real registry, with each root key replaced by a key of its own under
// HKCU\Software\QuenorClean Script Tests, so that scripts written for any
// root run against the platform's registry without touching the real roots.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "common/win32/registry_key.h"
#include "scanmenu/module/script/registry_access.h"
#include "scanmenu/module/script/win32/registry_access.h"

namespace test_support {

using scanmenu::script::RegistryAccess;
using scanmenu::script::RegistryKey;
using scanmenu::script::RootKey;
using scanmenu::script::Win32RegistryAccess;

class ScratchRegistry final : public RegistryAccess {
 public:
  // Starts from empty scratch roots; Ready() tells whether they were made.
  ScratchRegistry();
  ~ScratchRegistry() override;

  bool Ready() const { return ready_; }

  // Every key and value under the scratch roots, in the form of
  // registry_dump.h, with the short root names as the first path part.
  std::string Dump() const;

  std::int32_t OpenKey(RegistryKey parent, const char16_t* subkey, std::uint32_t access, RegistryKey* key) override;
  std::int32_t CreateKey(RegistryKey parent, const char16_t* name, std::uint32_t access, RegistryKey* key) override;
  std::int32_t CloseKey(RegistryKey key) override;
  std::int32_t DeleteKey(RegistryKey parent, const char16_t* name) override;
  std::int32_t FirstSubkeyName(RegistryKey key, char16_t* name, std::uint32_t capacity) override;
  std::int32_t QuerySubkeyCount(RegistryKey key, std::uint32_t* count) override;
  std::int32_t SetValue(RegistryKey key, const char16_t* name, std::uint32_t type, const std::uint8_t* data,
                        std::uint32_t size) override;
  std::int32_t DeleteValue(RegistryKey key, const char16_t* name) override;

 private:
  struct Root {
    RootKey root;
    const char16_t* name;
    win32::RegistryKey key;
  };

  RegistryKey Map(RegistryKey key) const;
  static void RemoveScratch();

  Win32RegistryAccess real_;
  std::array<Root, 7> roots_;
  bool ready_ = false;
};

}  // namespace test_support
