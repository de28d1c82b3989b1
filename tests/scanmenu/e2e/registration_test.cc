// Self-registration of the real Scanmenu.dll under the platform's registry:
// through regsvr32 as a packager runs it, and through the exports called in
// this process where the test needs to see results, locale or resources.
#include <windows.h>
#include <aclapi.h>
#include <oleauto.h>
#include <psapi.h>
#include <sddl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "support/win32/process_runner.h"

namespace {

using test_support::Quoted;
using test_support::RunProcess;
using test_support::SiblingPath;

constexpr wchar_t kClassId[] = L"{5A3E0C71-2D94-4F1B-9C60-7E1D48B3A925}";
constexpr wchar_t kClassKey[] = L"CLSID\\{5A3E0C71-2D94-4F1B-9C60-7E1D48B3A925}";
constexpr wchar_t kCommandClassKey[] = L"CLSID\\{C6B0F1D4-8E27-4A93-B5D8-3F61E2A90C7B}";
constexpr wchar_t kFileHandlers[] = L"*\\shellex\\ContextMenuHandlers";
constexpr wchar_t kDirectoryHandlers[] = L"Directory\\shellex\\ContextMenuHandlers";
constexpr wchar_t kDriveHandlers[] = L"Drive\\shellex\\ContextMenuHandlers";
constexpr wchar_t kTypeLibKey[] = L"TypeLib\\{9E41B7C2-5D03-4A6E-8F19-2C7B0D64E3A5}";
constexpr wchar_t kInterfaceKey[] = L"Interface\\{3F8A62D1-C74E-4B95-A0D3-61E9B25F7C48}";
// Under HKEY_LOCAL_MACHINE: the shell's list of approved extensions.
constexpr wchar_t kApprovedKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
constexpr GUID kLibId = {0x9E41B7C2, 0x5D03, 0x4A6E, {0x8F, 0x19, 0x2C, 0x7B, 0x0D, 0x64, 0xE3, 0xA5}};
constexpr DWORD kRegsvr32TimeoutMs = 60000;

// --- the registry as text ------------------------------------------------

std::wstring ValueText(DWORD type, const BYTE* data, DWORD size) {
  if (type == REG_SZ) {
    // A text as registration writes it ends in exactly one zero.
    std::wstring text(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
    if (!text.empty() && text.back() == L'\0') {
      text.pop_back();
      return L"sz:" + text;
    }
    return L"sz(unterminated):" + text;
  }
  wchar_t hex[4];
  std::wstring text = L"type" + std::to_wstring(type) + L":";
  for (DWORD i = 0; i < size; ++i) {
    std::swprintf(hex, 4, L"%02x", data[i]);
    text += hex;
  }
  return text;
}

// Every key and value under root\path, one line each: "path" for a key,
// "path|name=type:data" for a value (the default value has an empty name).
void DumpKey(HKEY root, const std::wstring& path, std::set<std::wstring>& lines) {
  win32::RegistryKey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  lines.insert(path);
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD name_length = 16384;
    BYTE data[4096];
    DWORD size = sizeof(data);
    DWORD type = 0;
    if (::RegEnumValueW(key.get(), index, name, &name_length, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    lines.insert(path + L"|" + std::wstring(name, name_length) + L"=" + ValueText(type, data, size));
  }
  std::vector<std::wstring> subkeys;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD name_length = 256;
    if (::RegEnumKeyExW(key.get(), index, name, &name_length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    subkeys.emplace_back(name, name_length);
  }
  for (const std::wstring& subkey : subkeys) DumpKey(root, path + L"\\" + subkey, lines);
}

// What registration may touch in the classes root.
std::set<std::wstring> Snapshot() {
  std::set<std::wstring> lines;
  for (const wchar_t* path : {kClassKey, kCommandClassKey, L"*\\shellex", L"Directory\\shellex", L"Drive\\shellex",
                              kTypeLibKey, kInterfaceKey}) {
    DumpKey(HKEY_CLASSES_ROOT, path, lines);
  }
  DumpKey(HKEY_LOCAL_MACHINE, kApprovedKey, lines);
  return lines;
}

std::set<std::wstring> Minus(const std::set<std::wstring>& a, const std::set<std::wstring>& b) {
  std::set<std::wstring> out;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
  return out;
}

std::string Narrow(const std::set<std::wstring>& lines) {
  std::string text;
  for (const std::wstring& line : lines) text += test_support::ToUtf8(line) + "\n";
  return text;
}

bool KeyExists(const std::wstring& path) {
  win32::RegistryKey key;
  return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

std::wstring ReadText(const std::wstring& path, const wchar_t* name) {
  wchar_t text[1024] = {};
  DWORD size = sizeof(text) - sizeof(wchar_t);
  if (::RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) {
    return L"<none>";
  }
  return text;
}

void WriteText(const std::wstring& path, const wchar_t* name, const std::wstring& text) {
  win32::RegistryKey key;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

// The lines registration adds for a library at `path`, type library aside.
std::set<std::wstring> TabledLines(const std::wstring& path) {
  const std::wstring clsid = kClassKey;
  const std::wstring handler = std::wstring(L"sz:") + kClassId;
  return {
      clsid,
      clsid + L"|=sz:Quenor Clean Shell Extension",
      clsid + L"\\InprocServer32",
      clsid + L"\\InprocServer32|=sz:" + path,
      clsid + L"\\InprocServer32|ThreadingModel=sz:Apartment",
      std::wstring(kFileHandlers) + L"\\QuenorClean",
      std::wstring(kFileHandlers) + L"\\QuenorClean|=" + handler,
      std::wstring(kDirectoryHandlers) + L"\\QuenorClean",
      std::wstring(kDirectoryHandlers) + L"\\QuenorClean|=" + handler,
      std::wstring(kDriveHandlers) + L"\\QuenorClean",
      std::wstring(kDriveHandlers) + L"\\QuenorClean|=" + handler,
      std::wstring(kApprovedKey) + L"|" + kClassId + L"=sz:Quenor Clean Shell Extension",
      // The Windows 11 command: its class key only; its package says where it shows.
      std::wstring(kCommandClassKey),
      std::wstring(kCommandClassKey) + L"|=sz:Quenor Clean Explorer Command",
      std::wstring(kCommandClassKey) + L"\\InprocServer32",
      std::wstring(kCommandClassKey) + L"\\InprocServer32|=sz:" + path,
      std::wstring(kCommandClassKey) + L"\\InprocServer32|ThreadingModel=sz:Apartment",
  };
}

std::set<std::wstring> WithoutTypeLibrary(const std::set<std::wstring>& lines) {
  std::set<std::wstring> out;
  for (const std::wstring& line : lines) {
    if (line.rfind(kTypeLibKey, 0) != 0 && line.rfind(kInterfaceKey, 0) != 0) out.insert(line);
  }
  return out;
}

// --- the server ------------------------------------------------------------

std::wstring DllPath() { return SiblingPath(L"Scanmenu.dll"); }

// regsvr32 from the system folder, silent; its exit code.
DWORD Regsvr32(const std::wstring& switches, const std::wstring& dll = DllPath()) {
  const test_support::ProcessResult result =
      RunProcess(L"C:\\windows\\system32\\regsvr32.exe /s " + switches + L" " + Quoted(dll), kRegsvr32TimeoutMs);
  EXPECT_TRUE(result.started);
  EXPECT_FALSE(result.timed_out);
  return result.started && !result.timed_out ? result.exit_code : 0xFFFFFFFFu;
}

// Scanmenu.dll loaded into this process, its registration exports at hand.
class Server {
 public:
  Server() : module_(::LoadLibraryW(DllPath().c_str())) {
    if (!module_) return;
    register_ = reinterpret_cast<Plain>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), "DllRegisterServer")));
    unregister_ =
        reinterpret_cast<Plain>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), "DllUnregisterServer")));
    install_ =
        reinterpret_cast<InstallFunction>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), "DllInstall")));
  }
  bool ok() const { return register_ != nullptr && unregister_ != nullptr && install_ != nullptr; }
  HRESULT Register() const { return register_(); }
  HRESULT Unregister() const { return unregister_(); }
  HRESULT Install(BOOL install, const wchar_t* command_line) const { return install_(install, command_line); }

 private:
  using Plain = HRESULT(STDAPICALLTYPE*)();
  using InstallFunction = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
  win32::ScopedModule module_;
  Plain register_ = nullptr;
  Plain unregister_ = nullptr;
  InstallFunction install_ = nullptr;
};

// The platform's own answer for unregistering this type library as it
// stands now.
HRESULT PlatformUnregisterTypeLib() { return ::UnRegisterTypeLib(kLibId, 1, 0, 0x0409, SYS_WIN64); }

// Each test starts and ends with the server unregistered and nothing planted.
class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.ok());
    CleanUp();
    // The handler lists and the approved list exist already wherever a shell does.
    for (const auto& [root, path] :
         {std::pair{HKEY_CLASSES_ROOT, kFileHandlers}, std::pair{HKEY_CLASSES_ROOT, kDirectoryHandlers},
          std::pair{HKEY_CLASSES_ROOT, kDriveHandlers}, std::pair{HKEY_LOCAL_MACHINE, kApprovedKey}}) {
      win32::RegistryKey key;
      ASSERT_EQ(::RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_READ, nullptr, key.put(), nullptr), ERROR_SUCCESS);
    }
    clean_ = Snapshot();
  }
  void TearDown() override { CleanUp(); }

  void CleanUp() {
    server_.Unregister();
    for (const wchar_t* path : {L"*\\shellex", L"Directory\\shellex"}) {
      win32::RegistryKey key;
      if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_WRITE, key.put()) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key.get(), L"PlantedByTest");
      }
    }
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(kFileHandlers) + L"\\OtherProduct").c_str());
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(kDirectoryHandlers) + L"\\OtherProduct").c_str());
  }

  Server server_;
  std::set<std::wstring> clean_;
};

// --- the scripts as stored --------------------------------------------------

std::string FileBytes(const std::wstring& path) {
  win32::ScopedHandle file(
      ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return "<unreadable>";
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read != 0) bytes.append(buffer, read);
  return bytes;
}

TEST(RegistrationScriptsTest, TheEmbeddedScriptsAreTheFilesByteForByte) {
  win32::ScopedModule data(
      ::LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  ASSERT_TRUE(data);
  const struct {
    UINT id;
    const wchar_t* file;
  } scripts[] = {
      {200, L"module.regscript"}, {201, L"context_menu_handler.regscript"}, {202, L"explorer_command.regscript"}};
  for (const auto& script : scripts) {
    HRSRC found = ::FindResourceW(data.get(), MAKEINTRESOURCEW(script.id), L"REGISTRY");
    ASSERT_NE(found, nullptr) << script.id;
    const DWORD size = ::SizeofResource(data.get(), found);
    const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(data.get(), found)));
    ASSERT_NE(bytes, nullptr);
    const std::string expected = FileBytes(SiblingPath(script.file));
    EXPECT_EQ(std::string(bytes, size), expected) << script.id;
    // CR LF line ends throughout, no terminating zero.
    EXPECT_EQ(expected.substr(expected.size() - 3), "}\r\n");
    EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), std::count(expected.begin(), expected.end(), '\r'));
  }
  EXPECT_EQ(FileBytes(SiblingPath(L"module.regscript")), "HKCR\r\n{\r\n}\r\n");
}

// --- regsvr32 -----------------------------------------------------------------

TEST_F(RegistrationTest, Regsvr32WritesTheTabledKeysAndTheTypeLibraryAndTakesThemAllAway) {
  ASSERT_EQ(Regsvr32(L""), 0u);
  const std::set<std::wstring> registered = Snapshot();
  EXPECT_EQ(Narrow(WithoutTypeLibrary(Minus(registered, clean_))), Narrow(TabledLines(DllPath())));
  EXPECT_EQ(Narrow(Minus(clean_, registered)), "");
  // The type library, as the platform registers it.
  EXPECT_EQ(ReadText(std::wstring(kTypeLibKey) + L"\\1.0", nullptr), L"VeltraneScanmenuLib");
  EXPECT_EQ(ReadText(std::wstring(kTypeLibKey) + L"\\1.0\\409\\win64", nullptr), DllPath());

  ASSERT_EQ(Regsvr32(L"/u"), 0u);
  EXPECT_EQ(Narrow(Snapshot()), Narrow(clean_));
  EXPECT_FALSE(KeyExists(kTypeLibKey));
  for (const wchar_t* kept : {L"CLSID", kFileHandlers, kDirectoryHandlers, kDriveHandlers}) {
    EXPECT_TRUE(KeyExists(kept)) << kept;
  }
}

TEST_F(RegistrationTest, RegisteringAgainRewritesTheForcedKeysAndReusesTheKeptOnes) {
  ASSERT_EQ(Regsvr32(L""), 0u);
  const std::set<std::wstring> once = Snapshot();
  WriteText(kClassKey, L"PlantedByTest", L"gone after registration");
  WriteText(std::wstring(kClassKey) + L"\\InprocServer32\\Planted", L"PlantedByTest", L"gone as well");
  WriteText(L"*\\shellex", L"PlantedByTest", L"kept");
  ASSERT_EQ(Regsvr32(L""), 0u);
  const std::set<std::wstring> twice = Snapshot();
  EXPECT_EQ(Narrow(Minus(twice, once)), "*\\shellex|PlantedByTest=sz:kept\n");
  EXPECT_EQ(Narrow(Minus(once, twice)), "");
}

TEST_F(RegistrationTest, UnregistrationKeepsTheSharedKeysAndAnotherProductsHandlers) {
  WriteText(std::wstring(kFileHandlers) + L"\\OtherProduct", nullptr, L"{00000000-1111-2222-3333-444444444444}");
  WriteText(std::wstring(kDirectoryHandlers) + L"\\OtherProduct", nullptr, L"{00000000-1111-2222-3333-444444444444}");
  const std::set<std::wstring> before = Snapshot();
  ASSERT_EQ(Regsvr32(L""), 0u);
  ASSERT_EQ(Regsvr32(L"/u"), 0u);
  EXPECT_EQ(Narrow(Snapshot()), Narrow(before));
  EXPECT_EQ(ReadText(std::wstring(kDirectoryHandlers) + L"\\OtherProduct", nullptr),
            L"{00000000-1111-2222-3333-444444444444}");
}

TEST_F(RegistrationTest, UnregisteringAnUnregisteredServerGivesThePlatformsTypeLibraryAnswer) {
  const HRESULT platform = PlatformUnregisterTypeLib();
  const HRESULT ours = server_.Unregister();
  EXPECT_EQ(ours, platform);
  EXPECT_EQ(Narrow(Snapshot()), Narrow(clean_));
  std::printf("unregistering an unregistered server: 0x%08lX (UnRegisterTypeLib: 0x%08lX)\n",
              static_cast<unsigned long>(ours), static_cast<unsigned long>(platform));
  const DWORD exit_code = Regsvr32(L"/u");
  std::printf("regsvr32 /s /u on an unregistered server exits with %lu\n", static_cast<unsigned long>(exit_code));
  EXPECT_EQ(exit_code == 0, SUCCEEDED(platform));
  EXPECT_EQ(Narrow(Snapshot()), Narrow(clean_));
}

TEST_F(RegistrationTest, InstallRegistersAsRegistrationDoesAndUninstallTakesItAway) {
  ASSERT_EQ(Regsvr32(L""), 0u);
  const std::set<std::wstring> registered = Snapshot();
  ASSERT_EQ(Regsvr32(L"/u"), 0u);

  // /n /i: DllInstall alone, with a command line it does not read.
  ASSERT_EQ(Regsvr32(L"/n /i:anything"), 0u);
  EXPECT_EQ(Narrow(Snapshot()), Narrow(registered));
  ASSERT_EQ(Regsvr32(L"/n /u /i"), 0u);
  EXPECT_EQ(Narrow(Snapshot()), Narrow(clean_));
  // /i: DllRegisterServer, then DllInstall.
  ASSERT_EQ(Regsvr32(L"/i"), 0u);
  EXPECT_EQ(Narrow(Snapshot()), Narrow(registered));
}

// Denies everyone every access to a key of the classes root while it lives,
// then gives the key its own security back.
class DeniedKey {
 public:
  explicit DeniedKey(const std::wstring& path, HKEY root = HKEY_CLASSES_ROOT) : root_(root), path_(path) {
    win32::RegistryKey key;
    if (::RegOpenKeyExW(root_, path_.c_str(), 0, READ_CONTROL | WRITE_DAC, key.put()) != ERROR_SUCCESS) {
      return;
    }
    DWORD size = sizeof(saved_);
    if (::RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, saved_, &size) != ERROR_SUCCESS) return;
    PSECURITY_DESCRIPTOR denied = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(D;;KA;;;WD)", SDDL_REVISION_1, &denied,
                                                                nullptr)) {
      return;
    }
    win32::ScopedLocalMemory owner(denied);
    ok_ = ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, denied) == ERROR_SUCCESS;
  }
  ~DeniedKey() {
    if (!ok_) return;
    win32::RegistryKey key;
    if (::RegOpenKeyExW(root_, path_.c_str(), 0, WRITE_DAC, key.put()) == ERROR_SUCCESS) {
      ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, saved_);
    }
  }
  DeniedKey(const DeniedKey&) = delete;
  DeniedKey& operator=(const DeniedKey&) = delete;
  bool ok() const { return ok_; }
  // Whether the platform enforces the denial on this key.
  bool Enforced() const {
    win32::RegistryKey key;
    return ::RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ, key.put()) == ERROR_ACCESS_DENIED;
  }

 private:
  HKEY root_;
  std::wstring path_;
  alignas(void*) BYTE saved_[4096] = {};
  bool ok_ = false;
};

TEST_F(RegistrationTest, AFailedInstallLeavesNothingOfTheServerBehind) {
  // The directory handler list refuses every access: the class script has
  // already written the class id key and the file handler when it fails.
  const HRESULT access_denied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
  const LCID german = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);
  const LCID saved = ::GetThreadLocale();
  {
    DeniedKey denied(kDirectoryHandlers);
    ASSERT_TRUE(denied.ok());
    ASSERT_TRUE(denied.Enforced()) << "the platform does not enforce key security";
    ASSERT_TRUE(::SetThreadLocale(german));
    EXPECT_EQ(server_.Install(TRUE, L""), access_denied);
    EXPECT_EQ(::GetThreadLocale(), german);
    EXPECT_EQ(server_.Register(), access_denied);
    EXPECT_EQ(::GetThreadLocale(), german);
    ::SetThreadLocale(saved);
    EXPECT_FALSE(KeyExists(kClassKey));
    EXPECT_FALSE(KeyExists(std::wstring(kFileHandlers) + L"\\QuenorClean"));
    EXPECT_FALSE(KeyExists(kTypeLibKey));
  }
  EXPECT_EQ(Narrow(Snapshot()), Narrow(clean_));

  // The same through regsvr32: DllInstall alone, and registration with it.
  for (const wchar_t* switches : {L"/n /i", L"/i"}) {
    {
      DeniedKey denied(kDirectoryHandlers);
      ASSERT_TRUE(denied.ok());
      EXPECT_NE(Regsvr32(switches), 0u) << switches;
      EXPECT_FALSE(KeyExists(kClassKey)) << switches;
      EXPECT_FALSE(KeyExists(kTypeLibKey)) << switches;
    }
    EXPECT_EQ(Narrow(Snapshot()), Narrow(clean_)) << switches;
  }
}

TEST_F(RegistrationTest, ARefusedApprovalFailsRegistrationAndLeavesNothingBehind) {
  {
    DeniedKey denied(kApprovedKey, HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(denied.ok());
    ASSERT_TRUE(denied.Enforced());
    EXPECT_EQ(server_.Register(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(KeyExists(kClassKey));
    EXPECT_FALSE(KeyExists(kTypeLibKey));
  }
  EXPECT_EQ(Narrow(Snapshot()), Narrow(clean_));
}

TEST_F(RegistrationTest, AQuoteInTheLibrarysFolderIsWrittenOnce) {
  const std::wstring folder = SiblingPath(L"") + L"Quenor's copy " + std::to_wstring(::GetCurrentProcessId());
  const std::wstring copy = folder + L"\\Scanmenu.dll";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
  ASSERT_TRUE(::CopyFileW(DllPath().c_str(), copy.c_str(), FALSE));

  EXPECT_EQ(Regsvr32(L"", copy), 0u);
  EXPECT_EQ(ReadText(std::wstring(kClassKey) + L"\\InprocServer32", nullptr), copy);
  EXPECT_EQ(Narrow(WithoutTypeLibrary(Minus(Snapshot(), clean_))), Narrow(TabledLines(copy)));
  EXPECT_EQ(ReadText(std::wstring(kTypeLibKey) + L"\\1.0\\409\\win64", nullptr), copy);
  EXPECT_EQ(Regsvr32(L"/u", copy), 0u);
  EXPECT_EQ(Narrow(Snapshot()), Narrow(clean_));

  EXPECT_TRUE(::DeleteFileW(copy.c_str()));
  EXPECT_TRUE(::RemoveDirectoryW(folder.c_str()));
}

// --- in this process ----------------------------------------------------------

TEST_F(RegistrationTest, TheThreadLocaleIsGivenBackOnEveryPath) {
  const LCID german = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);
  const LCID saved = ::GetThreadLocale();
  ASSERT_TRUE(::SetThreadLocale(german));
  EXPECT_EQ(server_.Register(), S_OK);
  EXPECT_EQ(::GetThreadLocale(), german);
  EXPECT_EQ(server_.Unregister(), S_OK);
  EXPECT_EQ(::GetThreadLocale(), german);
  // Unregistered already: the type library's unregistration decides.
  server_.Unregister();
  EXPECT_EQ(::GetThreadLocale(), german);
  EXPECT_EQ(server_.Install(TRUE, nullptr), S_OK);
  EXPECT_EQ(::GetThreadLocale(), german);
  EXPECT_EQ(server_.Install(FALSE, L"ignored"), S_OK);
  EXPECT_EQ(::GetThreadLocale(), german);
  ::SetThreadLocale(saved);
}

struct ProcessFigures {
  DWORD handles = 0;
  SIZE_T private_bytes = 0;
};

// Open handles of this process. Where the platform does not count them
// (Wine answers 0), every handle value up to 0x10000 is probed.
DWORD HandleCount() {
  DWORD count = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0) return count;
  for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

// The process's private commit charge (PagefileUsage, which Wine fills and
// Windows keeps equal to PrivateUsage).
ProcessFigures Figures() {
  ProcessFigures figures;
  figures.handles = HandleCount();
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  if (::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory)))
    figures.private_bytes = memory.PagefileUsage;
  return figures;
}

// One registration and unregistration of the type library by the platform
// alone, as the exports make them.
void PlatformTypeLibraryCycle() {
  Microsoft::WRL::ComPtr<ITypeLib> library;
  ASSERT_EQ(::LoadTypeLib(DllPath().c_str(), &library), S_OK);
  BSTR path = ::SysAllocString(DllPath().c_str());
  EXPECT_EQ(::RegisterTypeLib(library.Get(), path, nullptr), S_OK);
  ::SysFreeString(path);
  library.Reset();
  EXPECT_EQ(PlatformUnregisterTypeLib(), S_OK);
}

TEST_F(RegistrationTest, FiftyCyclesEndAsTheFirstAndGrowNothingBeyondThePlatformsOwnTypeLibraryCalls) {
  ASSERT_EQ(server_.Register(), S_OK);
  const std::set<std::wstring> registered = Snapshot();
  ASSERT_EQ(server_.Unregister(), S_OK);
  const std::set<std::wstring> first = Snapshot();
  const ProcessFigures after_first = Figures();
  for (int cycle = 2; cycle <= 50; ++cycle) {
    ASSERT_EQ(server_.Register(), S_OK) << cycle;
    ASSERT_EQ(server_.Unregister(), S_OK) << cycle;
  }
  const ProcessFigures after_fifty = Figures();
  EXPECT_EQ(Narrow(Snapshot()), Narrow(first));
  EXPECT_EQ(Narrow(first), Narrow(clean_));

  // Wine's RegisterTypeLib and UnRegisterTypeLib leave handles open
  // themselves; the same 49 cycles of those calls alone are the yardstick.
  for (int cycle = 2; cycle <= 50; ++cycle) PlatformTypeLibraryCycle();
  const ProcessFigures after_platform = Figures();
  ASSERT_NE(after_first.handles, 0u);
  ASSERT_NE(after_first.private_bytes, 0u);
  const long ours = static_cast<long>(after_fifty.handles) - static_cast<long>(after_first.handles);
  const long platform = static_cast<long>(after_platform.handles) - static_cast<long>(after_fifty.handles);
  std::printf(
      "after cycle 1: %lu handles, %zu private bytes; after cycle 50: %lu handles, %zu private bytes; "
      "49 bare type-library cycles of the platform: %+ld handles, %+lld private bytes\n",
      static_cast<unsigned long>(after_first.handles), after_first.private_bytes,
      static_cast<unsigned long>(after_fifty.handles), after_fifty.private_bytes, platform,
      static_cast<long long>(after_platform.private_bytes) - static_cast<long long>(after_fifty.private_bytes));
  EXPECT_LE(ours, platform);
  // 49 cycles that each leaked even one script buffer would pass 64 KiB.
  EXPECT_LE(after_fifty.private_bytes, after_first.private_bytes + 64 * 1024);

  ASSERT_EQ(server_.Register(), S_OK);
  EXPECT_EQ(Narrow(Snapshot()), Narrow(registered));
}

}  // namespace
