// A registry in memory for the interpreter's tests and fuzzing: the seven
// root keys, keys with default and named typed values, and the Windows error
// numbers of the operations, including the access a handle was opened with.
// Any one call can be made to fail with a chosen error number.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scanmenu/module/script/registry_access.h"

namespace test_support {

// Error numbers the in-memory registry reports besides 0 and 2.
inline constexpr std::int32_t kErrorAccessDenied = 5;
inline constexpr std::int32_t kErrorInvalidHandle = 6;
inline constexpr std::int32_t kErrorInvalidParameter = 87;
inline constexpr std::int32_t kErrorMoreData = 234;
inline constexpr std::int32_t kErrorNoMoreItems = 259;
inline constexpr std::int32_t kErrorKeyDeleted = 1018;

struct StoredValue {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

class MemoryRegistry final : public scanmenu::script::RegistryAccess {
 public:
  MemoryRegistry();
  ~MemoryRegistry() override;
  MemoryRegistry(const MemoryRegistry&) = delete;
  MemoryRegistry& operator=(const MemoryRegistry&) = delete;

  // scanmenu::script::RegistryAccess. Root keys are open with every access right; a key name
  // longer than 255 characters cannot be created (87). Creating a subkey
  // needs the parent's create right, values need the set right, the first
  // subkey the enumerate right and the subkey count the query right (5).
  std::int32_t OpenKey(scanmenu::script::RegistryKey parent, const char16_t* subkey, std::uint32_t access,
                       scanmenu::script::RegistryKey* key) override;
  std::int32_t CreateKey(scanmenu::script::RegistryKey parent, const char16_t* name, std::uint32_t access,
                         scanmenu::script::RegistryKey* key) override;
  // A close that is made to fail still releases the handle.
  std::int32_t CloseKey(scanmenu::script::RegistryKey key) override;
  std::int32_t DeleteKey(scanmenu::script::RegistryKey parent, const char16_t* name) override;
  std::int32_t FirstSubkeyName(scanmenu::script::RegistryKey key, char16_t* name, std::uint32_t capacity) override;
  std::int32_t QuerySubkeyCount(scanmenu::script::RegistryKey key, std::uint32_t* count) override;
  std::int32_t SetValue(scanmenu::script::RegistryKey key, const char16_t* name, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) override;
  std::int32_t DeleteValue(scanmenu::script::RegistryKey key, const char16_t* name) override;

  // Makes call number `call` (1-based, every operation counted, from now on)
  // fail with `error`, without any effect.
  void FailCall(int call, std::int32_t error);
  // Calls made so far, each as "operation path [detail]", while recording
  // (the default); without it the fault injection still counts every call.
  const std::vector<std::string>& calls() const { return calls_; }
  void set_record_calls(bool record) { record_calls_ = record; }
  int OpenHandleCount() const { return static_cast<int>(handles_.size()); }

  // Paths start with the short root name: "HKCR\CLSID".
  bool HasKey(std::u16string_view path) const;
  std::optional<StoredValue> GetValue(std::u16string_view path, std::u16string_view name) const;
  // Every key and value, in the form of registry_dump.h.
  std::string Dump() const;

 private:
  struct Node;
  struct Handle {
    std::shared_ptr<Node> node;
    std::uint32_t access;
  };

  std::int32_t Resolve(scanmenu::script::RegistryKey key, std::uint32_t needed, std::shared_ptr<Node>* node) const;
  const Node* Find(std::u16string_view path) const;
  template <typename Describer>
  bool Intercept(Describer describe, std::int32_t* error);
  std::string Describe(scanmenu::script::RegistryKey key, const char16_t* name) const;
  scanmenu::script::RegistryKey AddHandle(std::shared_ptr<Node> node, std::uint32_t access);

  std::map<scanmenu::script::RegistryKey, std::shared_ptr<Node>> roots_;
  std::map<scanmenu::script::RegistryKey, Handle> handles_;
  scanmenu::script::RegistryKey next_handle_ = 0x1000;
  std::vector<std::string> calls_;
  bool record_calls_ = true;
  int call_count_ = 0;
  int fail_call_ = 0;
  std::int32_t fail_error_ = 0;
};

}  // namespace test_support
