#include "common/win32/registry_key.h"

#include <vector>

namespace win32 {

// Out of line, so that each user does not carry its own copy of the close.
RegistryKey::RegistryKey(RegistryKey&& other) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept = default;
RegistryKey::~RegistryKey() = default;

LONG RegistryKey::Open(HKEY root, std::u16string_view path, REGSAM access) {
  key_.reset();
  const std::u16string terminated(path);
  HKEY key = nullptr;
  const LONG result = ::RegOpenKeyExW(root, Wide(terminated), 0, access, &key);
  if (result == ERROR_SUCCESS) key_.reset(key);
  return result;
}

LONG RegistryKey::Create(HKEY root, std::u16string_view path, REGSAM access) {
  key_.reset();
  const std::u16string terminated(path);
  HKEY key = nullptr;
  const LONG result =
      ::RegCreateKeyExW(root, Wide(terminated), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS) key_.reset(key);
  return result;
}

std::optional<std::u16string> RegistryKey::ReadText(std::u16string_view name, std::size_t buffer_bytes) const {
  if (!key_) return std::nullopt;
  const std::u16string terminated(name);
  // One spare unit past the caller's buffer so the text can always be ended,
  // even when the data fills the buffer without a terminator of its own.
  std::vector<char16_t> buffer(buffer_bytes / sizeof(char16_t) + 1, u'\0');
  DWORD size = static_cast<DWORD>(buffer_bytes);
  const LONG result =
      ::RegQueryValueExW(key_.get(), Wide(terminated), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size);
  if (result != ERROR_SUCCESS) return std::nullopt;
  const std::size_t units = size / sizeof(char16_t);
  std::u16string_view text(buffer.data(), units);
  return std::u16string(text.substr(0, text.find(u'\0')));
}

LONG RegistryKey::WriteText(std::u16string_view name, std::u16string_view text) const {
  if (!key_) return ERROR_INVALID_HANDLE;
  const std::u16string terminated_name(name);
  const std::u16string data(text);
  return ::RegSetValueExW(key_.get(), Wide(terminated_name), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(char16_t)));
}

}  // namespace win32
