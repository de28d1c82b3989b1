// scheduler.exe as a packager uses it: the real binary, started as its own
// process, its message boxes read and answered, and the service entry checked
// with the service control manager.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "scheduler/events/scheduler_events.h"
#include "support/win32/message_box_answerer.h"
#include "support/win32/process_runner.h"
#include "support/win32/service_entry_probe.h"
#include "support/win32/version_resource.h"

namespace {

using test_support::MessageBoxSeen;

constexpr DWORD kRunLimitMs = 30000;
constexpr wchar_t kInstalled[] = L"Service successfully installed.";
constexpr wchar_t kUninstalled[] = L"Service successfully uninstalled.";

class SchedulerProgramTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(test_support::RemoveEntry()); }
  void TearDown() override { EXPECT_TRUE(test_support::RemoveEntry()); }

  // Runs scheduler.exe with `arguments` to its end; the texts of the boxes it
  // showed, each checked to be an information box with the one button OK.
  std::vector<std::wstring> Run(const std::wstring& arguments) {
    const test_support::DialogRunResult run = test_support::RunAnsweringMessageBoxes(
        test_support::Quoted(program_) + L" " + arguments, L"Veltrane", kRunLimitMs);
    EXPECT_TRUE(run.process.started) << "arguments: " << test_support::ToUtf8(arguments);
    EXPECT_FALSE(run.process.timed_out) << "arguments: " << test_support::ToUtf8(arguments);
    EXPECT_EQ(run.process.exit_code, 0u) << "arguments: " << test_support::ToUtf8(arguments);
    std::vector<std::wstring> texts;
    for (const MessageBoxSeen& box : run.boxes) {
      EXPECT_EQ(box.buttons, std::vector<std::wstring>{L"OK"});
      EXPECT_TRUE(box.has_icon);
      texts.push_back(box.text);
    }
    return texts;
  }

  const std::wstring program_ = test_support::SiblingPath(L"scheduler.exe");
};

using Texts = std::vector<std::wstring>;

TEST_F(SchedulerProgramTest, InstallCreatesTheEntryWithItsOwnQuotedPath) {
  EXPECT_EQ(Run(L"/install"), Texts{kInstalled});

  const auto entry = test_support::ReadEntry();
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->display_name, L"Veltrane Scheduler");
  EXPECT_EQ(entry->description, std::optional<std::wstring>(L"Veltrane Scheduler controls scheduled scans"));
  EXPECT_EQ(entry->service_type, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(entry->start_type, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(entry->error_control, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
  EXPECT_EQ(entry->binary_path, test_support::Quoted(program_));
  EXPECT_EQ(entry->load_order_group, L"PNP_TDI");
  EXPECT_EQ(entry->tag, 0u);
  EXPECT_EQ(entry->dependencies, L"");
  EXPECT_EQ(entry->account, L"LocalSystem");
  // Installing does not start the service.
  EXPECT_EQ(test_support::CurrentState(), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(SchedulerProgramTest, InstallingAgainReportsSuccessAndLeavesTheEntryAlone) {
  ASSERT_EQ(Run(L"/install"), Texts{kInstalled});
  ASSERT_TRUE(test_support::SetDescription(L"changed in between"));

  EXPECT_EQ(Run(L"/install"), Texts{kInstalled});

  const auto entry = test_support::ReadEntry();
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->description, std::optional<std::wstring>(L"changed in between"));
  EXPECT_EQ(entry->binary_path, test_support::Quoted(program_));
}

TEST_F(SchedulerProgramTest, UninstallRemovesTheEntryAndSucceedsWhenThereIsNone) {
  ASSERT_EQ(Run(L"/install"), Texts{kInstalled});

  EXPECT_EQ(Run(L"/uninstall"), Texts{kUninstalled});
  EXPECT_TRUE(test_support::WaitUntilGone(10000));

  EXPECT_EQ(Run(L"/uninstall"), Texts{kUninstalled});
}

TEST_F(SchedulerProgramTest, SwitchesInAnyCaseTheFirstInstallationSwitchDecides) {
  EXPECT_EQ(Run(L"/USER /install"), Texts{kInstalled});
  EXPECT_TRUE(test_support::EntryExists());
  ASSERT_TRUE(test_support::RemoveEntry());

  EXPECT_EQ(Run(L"/install /uninstall"), Texts{kInstalled});
  EXPECT_TRUE(test_support::EntryExists());

  EXPECT_EQ(Run(L"/uninstall /install"), Texts{kUninstalled});
  EXPECT_TRUE(test_support::WaitUntilGone(10000));

  EXPECT_EQ(Run(L"/Install"), Texts{kInstalled});
  EXPECT_EQ(Run(L"/UNINSTALL"), Texts{kUninstalled});
  EXPECT_TRUE(test_support::WaitUntilGone(10000));
}

// Near misses select the service mode, which outside the service control
// manager ends without doing anything, as does an empty command line. (Under
// Wine that end takes about ten seconds, so the cases run side by side.)
TEST_F(SchedulerProgramTest, NearMissesEndWithoutABox) {
  const std::vector<std::wstring> near_misses = {L"-install",   L"/installx", L"install", L"\"/install \"",
                                                 L"-uninstall", L"/users",    L""};
  std::vector<std::wstring> command_lines;
  for (const std::wstring& arguments : near_misses) {
    command_lines.push_back(test_support::Quoted(program_) + L" " + arguments);
  }
  const auto runs = test_support::RunAllAnsweringMessageBoxes(command_lines, L"Veltrane", kRunLimitMs);
  for (std::size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE(test_support::ToUtf8(near_misses[i]));
    EXPECT_TRUE(runs[i].process.started);
    EXPECT_FALSE(runs[i].process.timed_out);
    EXPECT_EQ(runs[i].process.exit_code, 0u);
    EXPECT_TRUE(runs[i].boxes.empty());
  }
  EXPECT_FALSE(test_support::EntryExists());
}

// The version resource carries the project's version, the one the build
// was configured with.
TEST(SchedulerProgram, CarriesTheProjectVersionAndAnAsInvokerManifest) {
  const std::wstring program = test_support::SiblingPath(L"scheduler.exe");
  const test_support::VersionResource version(program);
  ASSERT_NE(version.fixed, nullptr);
  EXPECT_EQ(version.VersionLine(), test_support::ProjectVersionLine());
  EXPECT_EQ(version.fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  for (const wchar_t* name : {L"CompanyName", L"ProductName", L"FileDescription", L"OriginalFilename"}) {
    EXPECT_NE(version.Text(name), L"") << test_support::ToUtf8(name);
  }

  win32::ScopedModule image(::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(image);
  HRSRC resource = ::FindResourceW(image.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(resource, nullptr);
  const char* manifest = static_cast<const char*>(::LockResource(::LoadResource(image.get(), resource)));
  ASSERT_NE(manifest, nullptr);
  const std::string text(manifest, ::SizeofResource(image.get(), resource));
  EXPECT_NE(text.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
}

// Every event the scheduler reports is in the message table inside
// scheduler.exe under its identifier with its level bits, and its text takes
// exactly the inserts the code gives it; the table holds no other message.
TEST(SchedulerProgram, MessageTableHoldsEveryEventWithItsLevelAndInserts) {
  win32::ScopedModule image(
      ::LoadLibraryExW(test_support::SiblingPath(L"scheduler.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(image);
  const wchar_t* const markers[] = {L"<1>", L"<2>", L"<3>", L"<4>", L"<5>", L"<6>", L"<7>", L"<8>", L"<9>"};
  for (const events::CodeLevel& entry : events::kCatalogue) {
    const int code = static_cast<int>(entry.code);
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, image.get(),
        events::Identifier(entry.code), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<LPWSTR>(&text),
        0, reinterpret_cast<va_list*>(const_cast<wchar_t**>(markers)));
    win32::ScopedLocalMemory owner(text);
    ASSERT_NE(length, 0u) << code << ": " << ::GetLastError();
    for (int i = 0; i < 9; ++i) EXPECT_EQ(std::wcsstr(text, markers[i]) != nullptr, i < entry.inserts) << code;
  }
  // The table's blocks (MESSAGE_RESOURCE_DATA) count every message once.
  HRSRC resource = ::FindResourceW(image.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(11));  // RT_MESSAGETABLE
  ASSERT_NE(resource, nullptr);
  const auto* table = static_cast<const DWORD*>(::LockResource(::LoadResource(image.get(), resource)));
  std::size_t messages = 0;
  for (DWORD block = 0; block < table[0]; ++block) messages += table[1 + block * 3 + 1] - table[1 + block * 3] + 1;
  EXPECT_EQ(messages, std::size(events::kCatalogue));
}

}  // namespace
