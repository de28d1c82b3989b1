#include "scanmenu/menu/win32/packaged_command.h"

#include <windows.h>

#include <atomic>

namespace scanmenu {
namespace {

// GetPackagesByPackageFamily (appmodel.h) exists from Windows 8 on; it is
// looked up, so that the library still loads on Windows 7.
using GetPackagesByPackageFamilyFunction = LONG(WINAPI*)(PCWSTR family, UINT32* count, PWSTR* full_names,
                                                         UINT32* buffer_length, WCHAR* buffer);

bool AskTheSystem() {
  // A family name is at most 64 + 1 + 13 characters.
  wchar_t family[128];
  DWORD bytes = sizeof(family);
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, kPackageFamilyKey, kPackageFamilyValue, RRF_RT_REG_SZ, nullptr, family,
                     &bytes) != ERROR_SUCCESS ||
      family[0] == L'\0') {
    return false;
  }
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  auto* get_packages = reinterpret_cast<GetPackagesByPackageFamilyFunction>(reinterpret_cast<void (*)()>(
      kernel32 != nullptr ? ::GetProcAddress(kernel32, "GetPackagesByPackageFamily") : nullptr));
  if (get_packages == nullptr) return false;
  // Without buffers the call only counts: ERROR_INSUFFICIENT_BUFFER when
  // there is anything to count.
  UINT32 count = 0;
  UINT32 length = 0;
  const LONG result = get_packages(family, &count, nullptr, &length, nullptr);
  return (result == ERROR_SUCCESS || result == ERROR_INSUFFICIENT_BUFFER) && count > 0;
}

}  // namespace

std::uint32_t WindowsBuild() {
  static const std::uint32_t build = [] {
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    auto* get_version = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void (*)()>(ntdll != nullptr ? ::GetProcAddress(ntdll, "RtlGetVersion") : nullptr));
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    return get_version != nullptr && get_version(&version) == 0 ? static_cast<std::uint32_t>(version.dwBuildNumber)
                                                                : 0u;
  }();
  return build;
}

bool SparsePackageRegisteredForUser() {
  // Found once, the package stays found for the process; a package not found
  // is looked for again after a while (it is registered at sign-in, perhaps
  // after the first menu of the session).
  static std::atomic<bool> registered{false};
  static std::atomic<ULONGLONG> next_look{0};
  if (registered.load(std::memory_order_relaxed)) return true;
  const ULONGLONG now = ::GetTickCount64();
  if (now < next_look.load(std::memory_order_relaxed)) return false;
  const bool found = AskTheSystem();
  next_look.store(now + static_cast<ULONGLONG>(kPackageRecheck.count()), std::memory_order_relaxed);
  registered.store(found, std::memory_order_relaxed);
  return found;
}

}  // namespace scanmenu
