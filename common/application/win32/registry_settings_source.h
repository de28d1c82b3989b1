// SettingsSource over the Windows registry, and the scheduler's settings
// (policy first) read through it.
#pragma once

#include "common/application/settings_source.h"

namespace application {

// Settings read from the real registry, one open-read-close per value.
class RegistrySettingsSource final : public SettingsSource {
 public:
  std::optional<std::u16string> ReadText(RegistryRoot root, std::u16string_view key_path,
                                         std::u16string_view value_name, std::size_t buffer_bytes) const override;
  // A REG_DWORD as it is; any other type as decimal text.
  std::optional<std::uint32_t> ReadNumber(RegistryRoot root, std::u16string_view key_path,
                                          std::u16string_view value_name) const override;
};

// The scheduler's settings on this machine: Group Policy's values first,
// then the product's own (see PolicyFirstSettings).
const SettingsSource& SchedulerSettings();

}  // namespace application
