// The version resource of a built binary, read with version.dll (loaded at
// run time: the build's import check keeps it out of import tables).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/win32/scoped_handle.h"

namespace test_support {

struct VersionResource {
  explicit VersionResource(const std::wstring& path);
  // A text of the first translation's string table; empty when missing.
  std::wstring Text(const wchar_t* name) const;
  // "file a.b.c.d, product a.b.c.d, FileVersion <text>, ProductVersion <text>"
  std::wstring VersionLine() const;

  win32::ScopedModule dll{::LoadLibraryW(L"version.dll")};
  std::vector<BYTE> info;
  const VS_FIXEDFILEINFO* fixed = nullptr;  // null when there is no version resource
};

// That line for the project's version, as the build passes it in, padded
// with ".0" to four parts.
std::wstring ProjectVersionLine();

}  // namespace test_support
