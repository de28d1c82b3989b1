#include "common/application/settings_source.h"

#include <algorithm>

#include "common/application/contract.h"
#include "common/text/ascii_case.h"

namespace application {
namespace {

bool SameName(std::u16string_view a, std::u16string_view b) { return text::EqualsIgnoringAsciiCase(a, b); }

// Whether a read may be answered from the policy key.
bool IsPolicySetting(RegistryRoot root, std::u16string_view key_path, std::u16string_view value_name) {
  if (root != RegistryRoot::LocalMachine || !SameName(key_path, kSettingsKeyPath)) return false;
  return std::any_of(std::begin(kPolicySettings), std::end(kPolicySettings),
                     [&](std::u16string_view name) { return SameName(name, value_name); });
}

}  // namespace

std::optional<std::uint32_t> ParseCount(std::u16string_view text) {
  const std::size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string_view::npos) return std::nullopt;
  const std::size_t last = text.find_last_not_of(u' ');
  const std::u16string_view digits = text.substr(first, last - first + 1);
  std::uint64_t value = 0;
  for (const char16_t c : digits) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - u'0');
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

std::optional<std::uint32_t> SettingsSource::ReadNumber(RegistryRoot root, std::u16string_view key_path,
                                                        std::u16string_view value_name) const {
  const std::optional<std::u16string> text = ReadText(root, key_path, value_name, kSettingBytes);
  return text ? ParseCount(*text) : std::nullopt;
}

std::optional<std::u16string> PolicyFirstSettings::ReadText(RegistryRoot root, std::u16string_view key_path,
                                                            std::u16string_view value_name,
                                                            std::size_t buffer_bytes) const {
  if (IsPolicySetting(root, key_path, value_name)) {
    std::optional<std::u16string> policy = base_.ReadText(root, kPolicyKeyPath, value_name, buffer_bytes);
    if (policy) return policy;
  }
  return base_.ReadText(root, key_path, value_name, buffer_bytes);
}

std::optional<std::uint32_t> PolicyFirstSettings::ReadNumber(RegistryRoot root, std::u16string_view key_path,
                                                             std::u16string_view value_name) const {
  if (IsPolicySetting(root, key_path, value_name)) {
    std::optional<std::uint32_t> policy = base_.ReadNumber(root, kPolicyKeyPath, value_name);
    if (policy) return policy;
  }
  return base_.ReadNumber(root, key_path, value_name);
}

}  // namespace application
