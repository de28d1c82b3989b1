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

// Where a version resource states the version, as one line:
// "file a.b.c.d, product a.b.c.d, FileVersion <text>, ProductVersion <text>".
std::wstring VersionLine(const VersionResource& resource);

// That line as it reads for the project's version that the build passes in,
// padded with ".0" to the four parts of a version resource ("1.2": 1.2.0.0).
std::wstring ProjectVersionLine();

}  // namespace test_support
