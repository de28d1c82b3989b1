// Owner of one open key of a RegistryAccess: closes it when it goes out of
// scope. reset() closes early and reports the registry's answer, for the
// places where a failed close matters.
#pragma once

#include <cstdint>
#include <utility>

#include "scanmenu/module/script/registry_access.h"

namespace scanmenu::script {

class ScopedKey {
 public:
  explicit ScopedKey(RegistryAccess& registry) : registry_(&registry) {}
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  ScopedKey(ScopedKey&& other) noexcept : registry_(other.registry_), key_(std::exchange(other.key_, kNoKey)) {}
  ScopedKey& operator=(ScopedKey&& other) noexcept {
    if (this != &other) {
      reset();
      registry_ = other.registry_;
      key_ = std::exchange(other.key_, kNoKey);
    }
    return *this;
  }
  ~ScopedKey() { reset(); }

  RegistryKey get() const { return key_; }
  explicit operator bool() const { return key_ != kNoKey; }

  // For an out-parameter: closes the key held, if any, and returns the
  // address the call fills.
  [[nodiscard]] RegistryKey* put() {
    reset();
    return &key_;
  }

  // Closes the key, if any; the owner is empty afterwards whatever the answer.
  std::int32_t reset() {
    if (key_ == kNoKey) return kErrorSuccess;
    return registry_->CloseKey(std::exchange(key_, kNoKey));
  }

 private:
  RegistryAccess* registry_;
  RegistryKey key_ = kNoKey;
};

}  // namespace scanmenu::script
