// Where the product's settings are read from: the read-only SettingsSource
// interface over registry values, the count parser it shares, and the
// policy-first view of the scheduler's settings.
#pragma once

#include <cstddef>
#include <cstdint>
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
                                                 std::u16string_view value_name, std::size_t buffer_bytes) const = 0;

  // A count held as a REG_DWORD or as decimal text (blanks around the digits
  // allowed). Missing, unreadable or any other text: nullopt. This default
  // knows text only; a source that sees registry types reads DWORDs too.
  virtual std::optional<std::uint32_t> ReadNumber(RegistryRoot root, std::u16string_view key_path,
                                                  std::u16string_view value_name) const;
};

// Decimal digits with optional blanks around them, up to 4294967295.
std::optional<std::uint32_t> ParseCount(std::u16string_view text);

// The settings of the scheduler as an administrator sees them: the settings
// named in kPolicySettings are read from the policy key first and, where a
// value is absent there, from the settings key; everything else goes to
// `base` unchanged.
class PolicyFirstSettings final : public SettingsSource {
 public:
  explicit PolicyFirstSettings(const SettingsSource& base) : base_(base) {}
  std::optional<std::u16string> ReadText(RegistryRoot root, std::u16string_view key_path,
                                         std::u16string_view value_name, std::size_t buffer_bytes) const override;
  std::optional<std::uint32_t> ReadNumber(RegistryRoot root, std::u16string_view key_path,
                                          std::u16string_view value_name) const override;

 private:
  const SettingsSource& base_;
};

}  // namespace application
