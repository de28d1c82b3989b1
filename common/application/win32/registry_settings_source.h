#pragma once

#include "common/application/settings_source.h"

namespace application {

// Settings read from the real registry, one open-read-close per value.
class RegistrySettingsSource final : public SettingsSource {
 public:
  std::optional<std::u16string> ReadText(RegistryRoot root, std::u16string_view key_path,
                                         std::u16string_view value_name,
                                         std::size_t buffer_bytes) const override;
};

}  // namespace application
