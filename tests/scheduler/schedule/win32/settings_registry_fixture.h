// Writes the product's settings into HKEY_LOCAL_MACHINE\SOFTWARE\Veltrane of
// the test prefix, and removes what it wrote when the test ends.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/application/contract.h"
#include "common/win32/registry_key.h"

namespace test_support {

class SettingsRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { RemoveAll(); }
  void TearDown() override { RemoveAll(); }

  // A value of any type, with `bytes` as its data.
  void SetData(std::u16string_view name, DWORD type, const void* bytes, DWORD size) {
    win32::RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, application::kSettingsKeyPath, KEY_SET_VALUE), ERROR_SUCCESS);
    const std::u16string terminated(name);
    ASSERT_EQ(::RegSetValueExW(key.get(), win32::Wide(terminated), 0, type, static_cast<const BYTE*>(bytes), size),
              ERROR_SUCCESS);
  }
  // A REG_SZ value with its terminator.
  void SetText(std::u16string_view name, std::u16string_view text) {
    const std::u16string data(text);
    SetData(name, REG_SZ, data.c_str(), static_cast<DWORD>((data.size() + 1) * sizeof(char16_t)));
  }
  // Text data of another type, stored as it is (no terminator added).
  void SetTextAs(std::u16string_view name, DWORD type, std::u16string_view data) {
    SetData(name, type, data.data(), static_cast<DWORD>(data.size() * sizeof(char16_t)));
  }

  // Removes the settings values and, when nothing else is left in it, the key.
  static void RemoveAll() {
    win32::RegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, application::kSettingsKeyPath, KEY_SET_VALUE | KEY_QUERY_VALUE) != ERROR_SUCCESS) {
      return;
    }
    for (std::u16string_view name :
         {application::kSchedulerWhenValue, application::kSchedulerAroundValue, application::kSchedulerScanTypeValue,
          application::kLastScanValue, application::kLastDefaultScanValue}) {
      const std::u16string terminated(name);
      ::RegDeleteValueW(key.get(), win32::Wide(terminated));
    }
    DWORD subkeys = 0;
    DWORD values = 0;
    const bool empty = ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                          nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                       subkeys == 0 && values == 0;
    key.reset();
    if (empty) {
      const std::u16string path(application::kSettingsKeyPath);
      ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, win32::Wide(path));
    }
  }
};

}  // namespace test_support
