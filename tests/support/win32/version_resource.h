// The version resource of a built binary, read with version.dll as Explorer's
// property sheet and installers read it, and the version the build gave the
// project, for the tests to compare the two.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>

namespace test_support {

struct VersionResource {
  std::wstring file_version;     // the fixed part's file version, "a.b.c.d"
  std::wstring product_version;  // the fixed part's product version, "a.b.c.d"
  DWORD file_type = 0;           // VFT_APP, VFT_DLL, ...
  // The texts of the first language block named in "\VarFileInfo\Translation",
  // by name; a name the block does not hold is missing.
  std::map<std::wstring, std::wstring> texts;
};

// nullopt when `path` has no version resource (or version.dll cannot be had).
std::optional<VersionResource> ReadVersionResource(const std::wstring& path);

// The project's version, as the build passes it in, padded with ".0" to the
// four parts that a version resource carries ("1.2" gives "1.2.0.0").
std::wstring ProjectFileVersion();

}  // namespace test_support
