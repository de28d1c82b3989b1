// The 32-bit Scanmenu.dll in a 32-bit shell host, as the Open and Save dialogs
// of a 32-bit program on 64-bit Windows load it: registered by the 32-bit
// regsvr32 (System32 is SysWOW64 to this process) in the 32-bit registry view,
// made through COM, its item shown and chosen. The application it starts is
// found in the 64-bit view, where the 64-bit scanner registers itself.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/win32/registry_key.h"
#include "common/win32/wide.h"
#include "scanmenu/e2e/com_apartment.h"
#include "scanmenu/e2e/shell_host.h"
#include "scanmenu_idl.h"
#include "support/win32/process_runner.h"
#include "support/win32/stand_in_scanner.h"

namespace {

static_assert(sizeof(void*) == 4, "the 32-bit shell host");

using Microsoft::WRL::ComPtr;

constexpr char16_t kServerKey[] = u"CLSID\\{5A3E0C71-2D94-4F1B-9C60-7E1D48B3A925}\\InprocServer32";
constexpr wchar_t kMenuText[] = L"Scan with Quenor Clean";
constexpr DWORD kLogWaitMs = 20000;

::testing::Environment* const kApartment = ::testing::AddGlobalTestEnvironment(new shell_host::ComApartment);

// A text value of HKEY_CLASSES_ROOT in one registry view; empty when absent.
std::wstring ClassesText(std::u16string_view key, std::u16string_view name, REGSAM view) {
  win32::RegistryKey opened;
  if (opened.Open(HKEY_CLASSES_ROOT, key, KEY_QUERY_VALUE | view) != ERROR_SUCCESS) return {};
  const std::optional<std::u16string> text = opened.ReadText(name, (MAX_PATH + 1) * sizeof(wchar_t));
  return text ? std::wstring(win32::Wide(*text)) : std::wstring();
}

// Chooses the item for `paths`: the line the scanner logged for its start.
std::wstring ChooseItem(const test_support::StandInScanner& scanner, const std::vector<std::wstring>& paths) {
  ComPtr<IContextMenu> menu = shell_host::NewContextMenu(paths);
  if (!menu || shell_host::InvokeItem(menu.Get()) != S_OK) return L"not chosen";
  const std::vector<std::wstring> log = scanner.WaitForLog(1, kLogWaitMs);
  return log.size() == 1 ? log[0] : L"not started once";
}

TEST(X86ShellHostTest, TheRegistrationLandsInThe32BitViewAndLeavesThe64BitOneAlone) {
  BOOL wow64 = FALSE;
  ASSERT_TRUE(::IsWow64Process(::GetCurrentProcess(), &wow64));
  ASSERT_TRUE(wow64) << "not a 32-bit process on 64-bit Windows";
  const std::wstring dll = test_support::SiblingPath(L"Scanmenu.dll");
  EXPECT_EQ(ClassesText(kServerKey, u"", KEY_WOW64_32KEY), dll);
  EXPECT_EQ(ClassesText(kServerKey, u"ThreadingModel", KEY_WOW64_32KEY), L"Apartment");
  EXPECT_NE(ClassesText(kServerKey, u"", KEY_WOW64_64KEY), dll);
  // The type library is registered for 32-bit clients, with this copy's path.
  EXPECT_EQ(ClassesText(u"TypeLib\\{9E41B7C2-5D03-4A6E-8F19-2C7B0D64E3A5}\\1.0\\409\\win32", u"", KEY_WOW64_32KEY),
            dll);
}

TEST(X86ShellHostTest, TheItemStartsTheScannerWithTheSelectedPaths) {
  test_support::StandInScanner scanner(test_support::kScanmenuApplicationSubkey);
  ASSERT_TRUE(scanner.ok());
  shell_host::TempFolder folder(L"Scan Menu x86");
  const std::wstring file = folder.AddFile(L"a report.txt");
  const std::wstring directory = folder.AddFolder(L"a folder");
  {
    ComPtr<IContextMenu> menu = shell_host::NewContextMenu({file});
    ASSERT_TRUE(menu);
    // The library made through COM is the 32-bit copy beside this program.
    wchar_t loaded[MAX_PATH] = {};
    ::GetModuleFileNameW(::GetModuleHandleW(L"Scanmenu.dll"), loaded, MAX_PATH);
    EXPECT_EQ(std::wstring(loaded), test_support::SiblingPath(L"Scanmenu.dll"));
    HMENU popup = ::CreatePopupMenu();
    EXPECT_EQ(menu->QueryContextMenu(popup, 0, 100, 0x7FFF, CMF_NORMAL), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1));
    wchar_t text[64] = {};
    ::GetMenuStringW(popup, 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, kMenuText);
    ::DestroyMenu(popup);
  }
  const std::wstring started = L"\"" + scanner.path() + L"\" ";
  EXPECT_EQ(ChooseItem(scanner, {file}), started + L"/scan \"" + file + L"\"");
  scanner.ClearLog();
  const std::wstring list = shell_host::TempDirectory() + L"quenorclean.filelist";
  EXPECT_EQ(ChooseItem(scanner, {file, directory}), started + L"/scan /filelist=\"" + list + L"\"");
  const std::string bytes = shell_host::ReadFileBytes(list);
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t)),
            file + L"\r\n" + directory + L"\r\n");
  // Every handler and the class object are released: the library may go.
  EXPECT_EQ(shell_host::CallDllCanUnloadNow(), S_OK);
}

}  // namespace
