#include "scratch_registry.h"

#include <vector>

#include "common/win32/wide.h"
#include "registry_dump.h"

namespace test_support {
namespace {

constexpr char16_t kScratchPath[] = u"Software\\QuenorClean Script Tests";

void Collect(HKEY key, const std::u16string& path, bool is_root, std::vector<std::string>& lines) {
  if (!is_root) lines.push_back(KeyLine(path));
  std::vector<wchar_t> name(16384);
  std::vector<std::uint8_t> data;
  for (DWORD i = 0;; ++i) {
    DWORD name_length = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD size = 0;
    if (RegEnumValueW(key, i, name.data(), &name_length, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    data.assign(size, 0);
    name_length = static_cast<DWORD>(name.size());
    if (RegEnumValueW(key, i, name.data(), &name_length, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) break;
    data.resize(size);
    lines.push_back(ValueLine(path, std::u16string(win32::Utf16(name.data()), name_length), type, data));
  }
  for (DWORD i = 0;; ++i) {
    DWORD name_length = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(key, i, name.data(), &name_length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    const std::u16string child(win32::Utf16(name.data()), name_length);
    win32::RegistryKey subkey;
    if (subkey.Open(key, child, KEY_READ) == ERROR_SUCCESS) Collect(subkey.get(), path + u"\\" + child, false, lines);
  }
}

}  // namespace

ScratchRegistry::ScratchRegistry()
    : roots_{{{RootKey::kClassesRoot, u"HKCR", {}},
              {RootKey::kCurrentUser, u"HKCU", {}},
              {RootKey::kLocalMachine, u"HKLM", {}},
              {RootKey::kUsers, u"HKU", {}},
              {RootKey::kPerformanceData, u"HKPD", {}},
              {RootKey::kDynData, u"HKDD", {}},
              {RootKey::kCurrentConfig, u"HKCC", {}}}} {
  RemoveScratch();
  ready_ = true;
  for (Root& root : roots_) {
    const std::u16string path = std::u16string(kScratchPath) + u"\\" + root.name;
    ready_ = ready_ && root.key.Create(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS) == ERROR_SUCCESS;
  }
}

ScratchRegistry::~ScratchRegistry() {
  for (Root& root : roots_) root.key.reset();
  RemoveScratch();
}

void ScratchRegistry::RemoveScratch() {
  RegDeleteTreeW(HKEY_CURRENT_USER, win32::Wide(kScratchPath));
  RegDeleteKeyW(HKEY_CURRENT_USER, win32::Wide(kScratchPath));
}

std::string ScratchRegistry::Dump() const {
  std::vector<std::string> lines;
  for (const Root& root : roots_) Collect(root.key.get(), root.name, true, lines);
  return JoinSorted(std::move(lines));
}

RegistryKey ScratchRegistry::Map(RegistryKey key) const {
  for (const Root& root : roots_) {
    if (key == RootKeyHandle(root.root)) return reinterpret_cast<RegistryKey>(root.key.get());
  }
  return key;
}

std::int32_t ScratchRegistry::OpenKey(RegistryKey parent, const char16_t* subkey, std::uint32_t access,
                                      RegistryKey* key) {
  return real_.OpenKey(Map(parent), subkey, access, key);
}

std::int32_t ScratchRegistry::CreateKey(RegistryKey parent, const char16_t* name, std::uint32_t access,
                                        RegistryKey* key) {
  return real_.CreateKey(Map(parent), name, access, key);
}

std::int32_t ScratchRegistry::CloseKey(RegistryKey key) {
  // The scratch roots stay open, as the predefined keys do.
  return Map(key) != key ? ERROR_SUCCESS : real_.CloseKey(key);
}

std::int32_t ScratchRegistry::DeleteKey(RegistryKey parent, const char16_t* name) {
  return real_.DeleteKey(Map(parent), name);
}

std::int32_t ScratchRegistry::FirstSubkeyName(RegistryKey key, char16_t* name, std::uint32_t capacity) {
  return real_.FirstSubkeyName(Map(key), name, capacity);
}

std::int32_t ScratchRegistry::QuerySubkeyCount(RegistryKey key, std::uint32_t* count) {
  return real_.QuerySubkeyCount(Map(key), count);
}

std::int32_t ScratchRegistry::SetValue(RegistryKey key, const char16_t* name, std::uint32_t type,
                                       const std::uint8_t* data, std::uint32_t size) {
  return real_.SetValue(Map(key), name, type, data, size);
}

std::int32_t ScratchRegistry::DeleteValue(RegistryKey key, const char16_t* name) {
  return real_.DeleteValue(Map(key), name);
}

}  // namespace test_support
