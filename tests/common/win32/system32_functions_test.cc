// USERENV.dll and WTSAPI32.dll planted beside a copy of scheduler.exe, and
// beside a copy of this program, are never loaded: scheduler.exe imports
// neither, and win32::system32 takes them from System32 alone. (Wine does
// not read a load-configuration directory's DependentLoadFlags, so what it
// shows here is the dynamic loading.)
#include "common/win32/system32_functions.h"

#include <gtest/gtest.h>

#include <string>

#include "common/win32/scoped_handle.h"
#include "support/win32/process_runner.h"

namespace {

using test_support::Quoted;
using test_support::RunProcess;
using test_support::SiblingPath;

constexpr DWORD kRunWithinMs = 60000;
constexpr wchar_t kProbeVariable[] = L"QC_SYSTEM32_PROBE";

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length < MAX_PATH ? length : 0);
}

// A folder with the two planted DLLs, removed with its content afterwards.
class PlantedFolder {
 public:
  PlantedFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    path_ = std::wstring(temp) + L"Planted DLLs " + std::to_wstring(::GetCurrentProcessId());
    ok_ = ::CreateDirectoryW(path_.c_str(), nullptr) && Copy(SiblingPath(L"planted_dll.dll"), L"USERENV.dll") &&
          Copy(SiblingPath(L"planted_dll.dll"), L"WTSAPI32.dll");
  }
  ~PlantedFolder() {
    for (const wchar_t* name : {L"USERENV.dll", L"WTSAPI32.dll", L"USERENV.dll.loaded", L"WTSAPI32.dll.loaded",
                                L"scheduler.exe", L"probe.exe"}) {
      ::DeleteFileW(File(name).c_str());
    }
    ::RemoveDirectoryW(path_.c_str());
  }
  bool ok() const { return ok_; }
  bool Copy(const std::wstring& from, const wchar_t* name) {
    return ::CopyFileW(from.c_str(), File(name).c_str(), FALSE);
  }
  std::wstring File(const wchar_t* name) const { return path_ + L"\\" + name; }
  bool AnyLoaded() const { return Exists(File(L"USERENV.dll.loaded")) || Exists(File(L"WTSAPI32.dll.loaded")); }

 private:
  std::wstring path_;
  bool ok_ = false;
};

// Run by the copy beside the planted DLLs only: with the variable set to
// "functions" it calls each function, with "plain" it loads userenv.dll by
// the standard search order.
TEST(System32FunctionsProbe, Loads) {
  wchar_t mode[16] = {};
  if (::GetEnvironmentVariableW(kProbeVariable, mode, 16) == 0) GTEST_SKIP() << "run by the test below";
  if (std::wstring(mode) == L"plain") {
    EXPECT_NE(::LoadLibraryW(L"userenv.dll"), nullptr);
    return;
  }
  win32::ScopedHandle token;
  win32::system32::WTSQueryUserToken(::WTSGetActiveConsoleSessionId(), token.put());
  LPVOID environment = nullptr;
  if (win32::system32::CreateEnvironmentBlock(&environment, nullptr, FALSE)) {
    EXPECT_TRUE(win32::system32::DestroyEnvironmentBlock(environment));
  }
}

TEST(System32Functions, PlantedDllsBesideTheProgramAreNotLoaded) {
  PlantedFolder folder;
  ASSERT_TRUE(folder.ok());
  ASSERT_TRUE(folder.Copy(SiblingPath(L"scheduler.exe"), L"scheduler.exe"));
  ASSERT_TRUE(folder.Copy(OwnPath(), L"probe.exe"));
  const auto run_probe = [&](const wchar_t* mode) {
    ::SetEnvironmentVariableW(kProbeVariable, mode);
    const test_support::ProcessResult probe =
        RunProcess(Quoted(folder.File(L"probe.exe")) + L" --gtest_filter=System32FunctionsProbe.*", kRunWithinMs);
    ::SetEnvironmentVariableW(kProbeVariable, nullptr);
    EXPECT_TRUE(probe.started && !probe.timed_out && probe.exit_code == 0) << "probe " << mode;
  };

  // Service mode outside the service control manager ends at once, after the
  // loader has resolved every import.
  const test_support::ProcessResult service = RunProcess(Quoted(folder.File(L"scheduler.exe")), kRunWithinMs);
  ASSERT_TRUE(service.started && !service.timed_out);
  EXPECT_FALSE(folder.AnyLoaded()) << "scheduler.exe loaded a planted DLL";

  run_probe(L"functions");
  EXPECT_FALSE(folder.AnyLoaded()) << "win32::system32 loaded a planted DLL";

  // The plant works where the standard search order is used.
  run_probe(L"plain");
  EXPECT_TRUE(::GetFileAttributesW(folder.File(L"USERENV.dll.loaded").c_str()) != INVALID_FILE_ATTRIBUTES);
}

}  // namespace
