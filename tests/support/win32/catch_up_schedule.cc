#include "support/win32/catch_up_schedule.h"

#include <windows.h>

#include <cwchar>
#include <string>

#include "common/win32/registry_key.h"
#include "common/win32/wide.h"

namespace test_support {
namespace {

constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\Veltrane";

bool SetSetting(const wchar_t* name, const std::wstring& text) {
  win32::RegistryKey key;
  return key.Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Veltrane", KEY_SET_VALUE) == ERROR_SUCCESS &&
         key.WriteText(win32::Utf16(name), win32::Utf16(text.c_str())) == ERROR_SUCCESS;
}

// Local time `offset_minutes` from now, as the application stores it.
std::wstring LocalStamp(LONGLONG offset_minutes) {
  FILETIME now, local;
  ::GetSystemTimeAsFileTime(&now);
  ::FileTimeToLocalFileTime(&now, &local);
  ULARGE_INTEGER ticks{{local.dwLowDateTime, local.dwHighDateTime}};
  ticks.QuadPart += offset_minutes * 60LL * 10000000LL;
  const FILETIME shifted{ticks.LowPart, ticks.HighPart};
  SYSTEMTIME then;
  ::FileTimeToSystemTime(&shifted, &then);
  wchar_t text[32];
  std::swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", then.wYear, then.wMonth, then.wDay, then.wHour,
                then.wMinute, then.wSecond);
  return text;
}

int MinuteOfDay() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return now.wHour * 60 + now.wMinute;
}

}  // namespace

bool ScheduleCatchUpScan() {
  if (MinuteOfDay() < 2) ::Sleep(180000);
  const int run = MinuteOfDay() - 2;
  return SetSetting(L"SchedulerWhen", L"daily") &&
         SetSetting(L"SchedulerAround", std::to_wstring(run / 60) + L":" + std::to_wstring(run % 60)) &&
         SetSetting(L"LastScan", LocalStamp(-26 * 60));
}

void ClearSchedule() { ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSettingsKey); }

}  // namespace test_support
