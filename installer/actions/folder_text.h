// The install folder as the type library's registration writes it: the
// platform's RegisterTypeLib stores the library's folder without a trailing
// backslash, while Windows Installer's directory properties end with one.
#pragma once

#include <string>
#include <string_view>

namespace installer {

// The property SetInstallFolderText sets to the folder's text, for the type
// library's HELPDIR row (tools/make_msi.py reads the name from here).
inline constexpr wchar_t kFolderTextProperty[] = L"QC_INSTALL_FOLDER_TEXT";

// `folder` without its trailing backslashes.
inline std::u16string FolderText(std::u16string_view folder) {
  while (!folder.empty() && folder.back() == u'\\') folder.remove_suffix(1);
  return std::u16string(folder);
}

}  // namespace installer
