// What the context-menu handler asks of the system about Windows 11's
// packaged command (menu_item.h, ServedByPackagedCommand): the Windows build,
// and whether the sparse package is registered for the current user. Both
// are answered once per process (a package found missing is asked again
// after kPackageRecheck), so that building a menu costs no more than before.
#pragma once

#include <chrono>
#include <cstdint>

namespace scanmenu {

// Where the Windows Installer package writes the sparse package's family
// name (tools/make_msi.py): HKLM, REG_SZ. Installed by hand, without it, the
// classic item is always added.
inline constexpr wchar_t kPackageFamilyKey[] = L"SOFTWARE\\Veltrane\\Scanmenu";
inline constexpr wchar_t kPackageFamilyValue[] = L"SparsePackageFamily";

inline constexpr std::chrono::milliseconds kPackageRecheck{30000};

// The build number of the running Windows, whatever the process's manifest.
std::uint32_t WindowsBuild();

// Whether a package of that family is registered for the current user.
bool SparsePackageRegisteredForUser();

}  // namespace scanmenu
