// The test support itself, under the conditions the other tests rely on.
#include <gtest/gtest.h>

#include <thread>

#include "common/win32/registry_key.h"
#include "support/win32/message_box_answerer.h"
#include "support/win32/platform.h"
#include "support/win32/process_runner.h"
#include "support/win32/stand_in_scanner.h"

namespace test_support {
namespace {

TEST(StandInScanner, LogsEachStartsFullCommandLineFromAFolderWithBlanks) {
  StandInScanner scanner(kScanmenuApplicationSubkey);
  ASSERT_TRUE(scanner.ok());
  EXPECT_NE(scanner.path().find(L' '), std::wstring::npos);
  EXPECT_TRUE(scanner.Log().empty());

  const std::wstring first = Quoted(scanner.path()) + L" /scan \"C:\\some dir\\f\u00e9.txt\"";
  const std::wstring second = Quoted(scanner.path()) + L" /scan:boot /quiet";
  for (const std::wstring& command_line : {first, second}) {
    const ProcessResult run = RunProcess(command_line, 30000);
    ASSERT_TRUE(run.started);
    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, 0u);
  }
  EXPECT_EQ(scanner.WaitForLog(2, 5000), (std::vector<std::wstring>{first, second}));
  wchar_t profile[MAX_PATH] = {};
  ASSERT_GT(::GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH), 0u);
  EXPECT_EQ(scanner.LastUserProfile(), profile);

  scanner.ClearLog();
  EXPECT_TRUE(scanner.Log().empty());
}

TEST(StandInScanner, RegistersAndUnregistersItsUninstallEntry) {
  const wchar_t key[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuenorClean";
  std::wstring path;
  {
    StandInScanner scanner(kScanmenuApplicationSubkey);
    ASSERT_TRUE(scanner.ok());
    path = scanner.path();
    wchar_t value[1024] = {};
    DWORD size = sizeof value;
    ASSERT_EQ(::RegGetValueW(HKEY_LOCAL_MACHINE, key, L"UninstallString", RRF_RT_REG_SZ, nullptr, value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(value), Quoted(path) + L" /uninstall /silent");
  }
  win32::RegistryKey opened;
  EXPECT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, opened.put()), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(PresenceEventHolder, TheEventExistsExactlyWhileHeld) {
  auto exists = [] {
    HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, kSchedulerPresenceEvent);
    if (event == nullptr) return false;
    ::CloseHandle(event);
    return true;
  };
  EXPECT_FALSE(exists());
  {
    auto hold = StandInScanner::HoldPresenceEvent(kSchedulerPresenceEvent);
    ASSERT_TRUE(hold->ok());
    EXPECT_TRUE(exists());
  }
  EXPECT_FALSE(exists());
}

TEST(ProcessRunner, EndsAProcessThatOutlivesItsTimeLimit) {
  ChildProcess holder;
  ASSERT_TRUE(holder.Start(Quoted(SiblingPath(L"stand_in_scanner.exe")) + L" --hold-event \"qc runner test\""));
  EXPECT_FALSE(holder.Wait(100).has_value());
  holder.Terminate();
  EXPECT_FALSE(holder.IsRunning());

  const ProcessResult run =
      RunProcess(Quoted(SiblingPath(L"stand_in_scanner.exe")) + L" --hold-event \"qc runner test\"", 300);
  EXPECT_TRUE(run.started);
  EXPECT_TRUE(run.timed_out);
  EXPECT_FALSE(RunProcess(L"\"C:\\no such folder\\nothing.exe\"", 1000).started);
}

TEST(MessageBoxAnswerer, ReadsTheTextAndPressesOk) {
  int pressed = 0;
  std::thread shower(
      [&] { pressed = ::MessageBoxA(nullptr, "Something happened.", "Veltrane", MB_OK | MB_ICONINFORMATION); });
  const auto seen = AnswerMessageBox(L"Veltrane", ::GetCurrentProcessId(), 10000);
  shower.join();
  ASSERT_TRUE(seen.has_value());
  EXPECT_EQ(seen->text, L"Something happened.");
  EXPECT_EQ(seen->buttons, std::vector<std::wstring>{L"OK"});
  EXPECT_TRUE(seen->has_icon);
  EXPECT_EQ(pressed, IDOK);
}

TEST(Platform, WineIsToldApartByItsOwnRegistryKey) {
  win32::RegistryKey wine_key;
  const bool has_wine_key = wine_key.Open(HKEY_CURRENT_USER, u"Software\\Wine", KEY_READ) == ERROR_SUCCESS;
  EXPECT_EQ(RunningUnderWine(), has_wine_key);
}

TEST(MessageBoxAnswerer, IgnoresOtherCaptionsAndGivesUpInTime) {
  std::thread shower([] { ::MessageBoxW(nullptr, L"text", L"Other", MB_OK); });
  EXPECT_FALSE(AnswerMessageBox(L"Veltrane", ::GetCurrentProcessId(), 300).has_value());
  const auto other = AnswerMessageBox(L"Other", ::GetCurrentProcessId(), 10000);
  shower.join();
  ASSERT_TRUE(other.has_value());
  EXPECT_EQ(other->text, L"text");
  EXPECT_FALSE(other->has_icon);
}

}  // namespace
}  // namespace test_support
