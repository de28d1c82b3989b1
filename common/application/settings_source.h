#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace application {

enum class RegistryRoot { LocalMachine, CurrentUser };

// Read-only access to registry values as text. Each read opens the key for
// querying, reads one value and closes the key again.
class SettingsSource {
 public:
  virtual ~SettingsSource() = default;

  // The value's text, whatever its registry type, when the key and value
  // exist and the data fits in `buffer_bytes` bytes. The text ends at its
  // first terminator, or at the end of the data when it has none. A value
  // that is missing, unreadable or larger than the buffer gives nullopt.
  virtual std::optional<std::u16string> ReadText(RegistryRoot root, std::u16string_view key_path,
                                                 std::u16string_view value_name,
                                                 std::size_t buffer_bytes) const = 0;
};

}  // namespace application
