// The registry operations the script interpreter needs, and nothing more.
// Results are Windows error numbers: 0 for success, 2 for a key or value
// that does not exist; an implementation may report any other number.
#pragma once

#include <cstdint>

namespace scanmenu::script {

// An open key as the registry hands it out; 0 is no key. Root keys carry the
// values of the Windows predefined handles (RootKeyHandle).
using RegistryKey = std::uintptr_t;
inline constexpr RegistryKey kNoKey = 0;

enum class RootKey : std::uint32_t {
  kClassesRoot = 0x80000000,
  kCurrentUser = 0x80000001,
  kLocalMachine = 0x80000002,
  kUsers = 0x80000003,
  kPerformanceData = 0x80000004,
  kCurrentConfig = 0x80000005,
  kDynData = 0x80000006,
};

// The predefined handles are 32-bit values sign-extended to pointer width.
constexpr RegistryKey RootKeyHandle(RootKey root) {
  return static_cast<RegistryKey>(
      static_cast<std::intptr_t>(static_cast<std::int32_t>(static_cast<std::uint32_t>(root))));
}

inline constexpr std::uint32_t kAccessRead = 0x20019;
inline constexpr std::uint32_t kAccessWrite = 0x20006;
inline constexpr std::uint32_t kAccessReadWrite = 0x2001F;

// Registry value types the scripts can write.
inline constexpr std::uint32_t kTypeString = 1;       // REG_SZ
inline constexpr std::uint32_t kTypeBinary = 3;       // REG_BINARY
inline constexpr std::uint32_t kTypeDword = 4;        // REG_DWORD
inline constexpr std::uint32_t kTypeMultiString = 7;  // REG_MULTI_SZ

inline constexpr std::int32_t kErrorSuccess = 0;
inline constexpr std::int32_t kErrorNotFound = 2;  // ERROR_FILE_NOT_FOUND

// Names are zero-terminated UTF-16; a null name stands for "none" where the
// operation allows it.
class RegistryAccess {
 public:
  virtual ~RegistryAccess() = default;

  // Opens parent\subkey; a null subkey opens the parent again.
  virtual std::int32_t OpenKey(RegistryKey parent, const char16_t* subkey, std::uint32_t access, RegistryKey* key) = 0;
  // Opens parent\name, creating it (non-volatile) when it does not exist.
  virtual std::int32_t CreateKey(RegistryKey parent, const char16_t* name, std::uint32_t access, RegistryKey* key) = 0;
  virtual std::int32_t CloseKey(RegistryKey key) = 0;
  // Deletes parent\name, which must have no subkeys.
  virtual std::int32_t DeleteKey(RegistryKey parent, const char16_t* name) = 0;
  // The name of subkey 0 into a buffer of `capacity` characters, terminator
  // included.
  virtual std::int32_t FirstSubkeyName(RegistryKey key, char16_t* name, std::uint32_t capacity) = 0;
  virtual std::int32_t QuerySubkeyCount(RegistryKey key, std::uint32_t* count) = 0;
  // A null name sets the key's default value.
  virtual std::int32_t SetValue(RegistryKey key, const char16_t* name, std::uint32_t type, const std::uint8_t* data,
                                std::uint32_t size) = 0;
  virtual std::int32_t DeleteValue(RegistryKey key, const char16_t* name) = 0;
};

}  // namespace scanmenu::script
