// The Windows 11 sparse package that the install folder carries
// (QuenorCleanMenu.msix), deployed by the package's custom actions:
//
//   install, per machine (deferred, LocalSystem): stage the .msix with the
//     install folder as its external location, then provision its family
//     for every user, present and future;
//   install, for the person running it (deferred, impersonated, not
//     LocalSystem): register it for that user at once;
//   real removal (not an upgrade's): deprovision the family, then remove
//     every installed version for all users.
//
// Only on Windows 11 (build 22000 or later) outside Safe Mode; elsewhere
// nothing is done. Nothing here fails the installation: every step that
// fails is logged with its code, and the classic menu item keeps working.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace installer {

// The first Windows 11 build; its first-level menu is what the package is for.
inline constexpr std::uint32_t kFirstWindows11Build = 22000;

// RemovalOptions.RemoveForAllUsers of the deployment API.
inline constexpr std::uint32_t kRemoveForAllUsers = 0x80000;

// What a deferred action is handed (its CustomActionData): the install
// folder, the package's name, family name and publisher, in this order and
// separated by '|', which none but the last can hold. The publisher comes
// last and takes the rest.
struct SparsePackageData {
  std::u16string folder;
  std::u16string name;
  std::u16string family;
  std::u16string publisher;
};
std::optional<SparsePackageData> ParseSparsePackageData(std::u16string_view text);

// The file name of the package in the install folder.
inline constexpr std::u16string_view kSparsePackageFile = u"QuenorCleanMenu.msix";

struct SystemFacts {
  std::uint32_t build = 0;
  bool safe_mode = false;
};

// Whether the package is deployed (or removed) at all on this system.
bool DeploysSparsePackage(const SystemFacts& facts);

// An absolute Windows path ("C:\Program Files\x", "\\server\share\x") as a
// file URI ("file:///C:/Program%20Files/x", "file://server/share/x"); a
// folder ends with '/'. Everything but unreserved characters, '/' and the
// drive's ':' is percent-encoded from UTF-8.
std::u16string FileUri(std::u16string_view path, bool folder);

// "0x800B0109": an HRESULT as the installer's log shows it.
std::u16string HresultText(std::int32_t code);

// The deployment API, one call per operation, each waited for (within a
// bound) and answered with its HRESULT (0 for success).
class PackageDeployment {
 public:
  virtual ~PackageDeployment() = default;
  virtual std::int32_t Stage(const std::u16string& package_uri, const std::u16string& external_uri) = 0;
  virtual std::int32_t ProvisionForAllUsers(const std::u16string& family) = 0;
  virtual std::int32_t AddForCurrentUser(const std::u16string& package_uri, const std::u16string& external_uri) = 0;
  virtual std::int32_t DeprovisionForAllUsers(const std::u16string& family) = 0;
  // The full names of every installed version of `name` by `publisher`.
  virtual std::int32_t FindPackages(const std::u16string& name, const std::u16string& publisher,
                                    std::vector<std::u16string>& full_names) = 0;
  virtual std::int32_t Remove(const std::u16string& full_name, std::uint32_t options) = 0;
};

// Lines for the installer's log, in the order written.
using LogLines = std::vector<std::u16string>;

// The three actions. Each returns the log lines it wrote; none can fail.
LogLines StageAndProvision(const SparsePackageData& data, PackageDeployment& deployment);
LogLines AddForCurrentUser(const SparsePackageData& data, PackageDeployment& deployment);
LogLines RemoveForAllUsers(const SparsePackageData& data, PackageDeployment& deployment);

// The line for a system on which nothing is done, or nullopt where the
// actions run.
std::optional<std::u16string> SkipReason(const SystemFacts& facts);

}  // namespace installer
