// An in-memory stand-in for the registry's settings, for native tests.
#pragma once

#include <algorithm>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "common/application/settings_source.h"

namespace test_support {

class InMemorySettings final : public application::SettingsSource {
 public:
  // Stores a text value as the registry would hold a REG_SZ: the text and
  // its terminator.
  void Set(application::RegistryRoot root, std::u16string_view key_path, std::u16string_view name,
           std::u16string_view text) {
    std::u16string data(text);
    data.push_back(u'\0');
    values_[Key(root, key_path, name)] = data;
  }
  // Stores data as it is, without adding a terminator.
  void SetRaw(application::RegistryRoot root, std::u16string_view key_path, std::u16string_view name,
              std::u16string_view data) {
    values_[Key(root, key_path, name)] = std::u16string(data);
  }
  void Remove(application::RegistryRoot root, std::u16string_view key_path, std::u16string_view name) {
    values_.erase(Key(root, key_path, name));
  }
  void Clear() { values_.clear(); }

  // Counts reads, so a test can see that a value was looked at at all.
  std::size_t reads() const { return reads_; }

  std::optional<std::u16string> ReadText(application::RegistryRoot root, std::u16string_view key_path,
                                         std::u16string_view value_name, std::size_t buffer_bytes) const override {
    ++reads_;
    const auto it = values_.find(Key(root, key_path, value_name));
    if (it == values_.end()) return std::nullopt;
    const std::u16string& data = it->second;
    if (data.size() * sizeof(char16_t) > buffer_bytes) return std::nullopt;
    return data.substr(0, data.find(u'\0'));
  }

 private:
  // Registry names compare without regard to case.
  static std::u16string Lower(std::u16string_view text) {
    std::u16string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; });
    return out;
  }
  static std::tuple<int, std::u16string, std::u16string> Key(application::RegistryRoot root,
                                                             std::u16string_view key_path, std::u16string_view name) {
    return {static_cast<int>(root), Lower(key_path), Lower(name)};
  }

  std::map<std::tuple<int, std::u16string, std::u16string>, std::u16string> values_;
  mutable std::size_t reads_ = 0;
};

}  // namespace test_support
