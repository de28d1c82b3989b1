#include "support/win32/version_resource.h"

#include <algorithm>
#include <cstdio>

namespace test_support {
namespace {

template <typename Function>
Function* Find(const VersionResource& resource, const char* name) {
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(::GetProcAddress(resource.dll.get(), name)));
}

const void* Query(const VersionResource& resource, const std::wstring& sub_block) {
  auto* query = Find<decltype(::VerQueryValueW)>(resource, "VerQueryValueW");
  void* value = nullptr;
  UINT length = 0;
  return query && query(resource.info.data(), sub_block.c_str(), &value, &length) && length > 0 ? value : nullptr;
}

std::wstring Line(const std::wstring& file, const std::wstring& product, const std::wstring& file_text,
                  const std::wstring& product_text) {
  return L"file " + file + L", product " + product + L", FileVersion " + file_text + L", ProductVersion " +
         product_text;
}

std::wstring Dotted(DWORD most, DWORD least) {
  wchar_t text[32];
  std::swprintf(text, 32, L"%lu.%lu.%lu.%lu", most >> 16, most & 0xFFFF, least >> 16, least & 0xFFFF);
  return text;
}

}  // namespace

VersionResource::VersionResource(const std::wstring& path) {
  auto* info_size = Find<decltype(::GetFileVersionInfoSizeW)>(*this, "GetFileVersionInfoSizeW");
  auto* read_info = Find<decltype(::GetFileVersionInfoW)>(*this, "GetFileVersionInfoW");
  DWORD ignored = 0;
  info.resize(info_size && read_info ? info_size(path.c_str(), &ignored) : 0);
  if (!info.empty() && read_info(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data())) {
    fixed = static_cast<const VS_FIXEDFILEINFO*>(Query(*this, L"\\"));
  }
}

std::wstring VersionResource::Text(const wchar_t* name) const {
  const auto* translation = static_cast<const WORD*>(Query(*this, L"\\VarFileInfo\\Translation"));
  if (translation == nullptr) return {};
  wchar_t block[40];
  std::swprintf(block, 40, L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
  const auto* text = static_cast<const wchar_t*>(Query(*this, block + std::wstring(name)));
  return text != nullptr ? text : L"";
}

std::wstring VersionResource::VersionLine() const {
  return Line(Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS),
              Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS), Text(L"FileVersion"),
              Text(L"ProductVersion"));
}

std::wstring ProjectVersionLine() {
  std::wstring version = L"" QC_PROJECT_VERSION;
  for (auto dots = std::count(version.begin(), version.end(), L'.'); dots < 3; ++dots) version += L".0";
  return Line(version, version, version, version);
}

}  // namespace test_support
