#include "support/win32/version_resource.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "common/win32/scoped_handle.h"

#ifndef QC_PROJECT_VERSION
#error "the build passes the project's version in as QC_PROJECT_VERSION"
#endif

namespace test_support {
namespace {

// The version functions, loaded at run time: the import check of the build
// does not let version.dll into the import table.
struct VersionFunctions {
  template <typename Function>
  Function* Find(const char* name) const {
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(::GetProcAddress(module.Get(), name)));
  }
  win32::ScopedModule module{::LoadLibraryW(L"version.dll")};
  decltype(::GetFileVersionInfoSizeW)* info_size =
      Find<decltype(::GetFileVersionInfoSizeW)>("GetFileVersionInfoSizeW");
  decltype(::GetFileVersionInfoW)* info = Find<decltype(::GetFileVersionInfoW)>("GetFileVersionInfoW");
  decltype(::VerQueryValueW)* query = Find<decltype(::VerQueryValueW)>("VerQueryValueW");
};

std::wstring Dotted(DWORD most, DWORD least) {
  wchar_t text[32];
  std::swprintf(text, 32, L"%lu.%lu.%lu.%lu", most >> 16, most & 0xFFFF, least >> 16, least & 0xFFFF);
  return text;
}

}  // namespace

std::optional<VersionResource> ReadVersionResource(const std::wstring& path) {
  const VersionFunctions version;
  if (!version.info_size || !version.info || !version.query) return std::nullopt;
  DWORD ignored = 0;
  const DWORD size = version.info_size(path.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<BYTE> info(size);
  if (!version.info(path.c_str(), 0, size, info.data())) return std::nullopt;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!version.query(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof *fixed) {
    return std::nullopt;
  }
  VersionResource result;
  result.file_version = Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
  result.product_version = Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
  result.file_type = fixed->dwFileType;

  WORD* translation = nullptr;
  if (!version.query(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
      length < 2 * sizeof(WORD)) {
    return result;
  }
  wchar_t block[40];
  std::swprintf(block, 40, L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
  for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName", L"LegalCopyright",
                              L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
    wchar_t* value = nullptr;
    if (version.query(info.data(), (block + std::wstring(name)).c_str(), reinterpret_cast<void**>(&value), &length) &&
        value != nullptr && length > 0) {
      result.texts[name] = std::wstring(value, std::wcslen(value));
    }
  }
  return result;
}

std::wstring VersionLine(const VersionResource& resource) {
  const auto text = [&](const wchar_t* name) {
    const auto found = resource.texts.find(name);
    return found == resource.texts.end() ? std::wstring(L"<none>") : found->second;
  };
  return L"file " + resource.file_version + L", product " + resource.product_version + L", FileVersion " +
         text(L"FileVersion") + L", ProductVersion " + text(L"ProductVersion");
}

std::wstring ProjectVersionLine() {
  std::wstring version = L"" QC_PROJECT_VERSION;
  for (auto dots = std::count(version.begin(), version.end(), L'.'); dots < 3; ++dots) version += L".0";
  return VersionLine({version, version, 0, {{L"FileVersion", version}, {L"ProductVersion", version}}});
}

}  // namespace test_support
