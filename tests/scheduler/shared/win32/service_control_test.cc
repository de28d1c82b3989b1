// Service installation and control against a real entry of the service
// control manager. The entry "VeltraneScheduler" points at the recording
// service, which logs the start arguments it receives.
#include "scheduler/shared/win32/service_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/win32/process_runner.h"
#include "support/win32/service_entry_probe.h"
#include "support/win32/stand_in_scanner.h"

namespace shared {
namespace {

using test_support::CurrentState;
using test_support::WaitForState;

constexpr DWORD kServiceWaitMs = 20000;

class ServiceControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test_support::RemoveEntry());
    ::DeleteFileW(log_path_.c_str());
  }
  void TearDown() override {
    EXPECT_TRUE(test_support::RemoveEntry());
    ::DeleteFileW(log_path_.c_str());
  }

  void RegisterRecordingService() {
    ASSERT_TRUE(test_support::CreateEntry(test_support::Quoted(service_path_), L"Recording Service"));
  }

  // The start arguments of each start so far, one list per start.
  std::vector<std::vector<std::wstring>> Starts() const {
    std::vector<std::vector<std::wstring>> starts;
    for (const std::wstring& line : test_support::ReadLogLines(log_path_)) {
      std::vector<std::wstring> arguments;
      for (std::size_t begin = 0;;) {
        const std::size_t tab = line.find(L'\t', begin);
        arguments.push_back(line.substr(begin, tab - begin));
        if (tab == std::wstring::npos) break;
        begin = tab + 1;
      }
      starts.push_back(arguments);
    }
    return starts;
  }

  std::vector<std::vector<std::wstring>> WaitForStarts(std::size_t count) const {
    const ULONGLONG deadline = ::GetTickCount64() + kServiceWaitMs;
    std::vector<std::vector<std::wstring>> starts = Starts();
    while (starts.size() < count && ::GetTickCount64() < deadline) {
      ::Sleep(50);
      starts = Starts();
    }
    return starts;
  }

  const std::wstring service_path_ = test_support::SiblingPath(L"recording_service.exe");
  const std::wstring log_path_ = test_support::SiblingPath(L"recording_service.log");
};

TEST_F(ServiceControlTest, WithoutAnEntryStartFailsWhileStopAndUninstallSucceed) {
  EXPECT_FALSE(StartSchedulerService(false));
  EXPECT_FALSE(StartSchedulerService(true));
  EXPECT_TRUE(StopSchedulerService());
  EXPECT_TRUE(UninstallService());
  EXPECT_FALSE(test_support::EntryExists());
}

TEST_F(ServiceControlTest, StartPassesEndSessionAfterTheServiceNameAndOnlyWhenAskedTo) {
  RegisterRecordingService();
  EXPECT_TRUE(StopSchedulerService()) << "stopping a service that does not run";

  ASSERT_TRUE(StartSchedulerService(true));
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING, kServiceWaitMs));
  EXPECT_TRUE(StartSchedulerService(false)) << "starting a service that runs already";
  EXPECT_TRUE(StartSchedulerService(true));
  ASSERT_TRUE(StopSchedulerService());
  ASSERT_TRUE(WaitForState(SERVICE_STOPPED, kServiceWaitMs));
  EXPECT_TRUE(StopSchedulerService());

  ASSERT_TRUE(StartSchedulerService(false));
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING, kServiceWaitMs));
  ASSERT_TRUE(StopSchedulerService());
  ASSERT_TRUE(WaitForState(SERVICE_STOPPED, kServiceWaitMs));

  // The starts while it ran reached nobody.
  const std::vector<std::vector<std::wstring>> expected = {{L"VeltraneScheduler", L"endsession"},
                                                           {L"VeltraneScheduler"}};
  EXPECT_EQ(WaitForStarts(2), expected);
}

TEST_F(ServiceControlTest, UninstallAsksARunningServiceToStopAndDeletesTheEntry) {
  RegisterRecordingService();
  ASSERT_TRUE(StartSchedulerService(false));
  ASSERT_TRUE(WaitForState(SERVICE_RUNNING, kServiceWaitMs));

  EXPECT_TRUE(UninstallService());
  // The manager removes the marked entry once the service has stopped.
  EXPECT_TRUE(test_support::WaitUntilGone(kServiceWaitMs));
  EXPECT_TRUE(UninstallService());
  EXPECT_FALSE(StartSchedulerService(false));
}

TEST_F(ServiceControlTest, UninstallDeletesAStoppedEntry) {
  RegisterRecordingService();
  EXPECT_TRUE(UninstallService());
  EXPECT_TRUE(test_support::WaitUntilGone(kServiceWaitMs));
  EXPECT_EQ(CurrentState(), 0u);
}

TEST_F(ServiceControlTest, InstallOverAnExistingEntryChangesNothing) {
  RegisterRecordingService();
  ASSERT_TRUE(test_support::SetDescription(L"set from outside"));
  const auto before = test_support::ReadEntry();
  ASSERT_TRUE(before.has_value());

  EXPECT_TRUE(InstallService());

  const auto after = test_support::ReadEntry();
  ASSERT_TRUE(after.has_value());
  EXPECT_EQ(after->binary_path, test_support::Quoted(service_path_));
  EXPECT_EQ(after->display_name, L"Recording Service");
  EXPECT_EQ(after->start_type, static_cast<DWORD>(SERVICE_DEMAND_START));
  EXPECT_EQ(after->error_control, static_cast<DWORD>(SERVICE_ERROR_IGNORE));
  EXPECT_EQ(after->load_order_group, L"");
  EXPECT_EQ(after->description, std::optional<std::wstring>(L"set from outside"));
}

}  // namespace
}  // namespace shared
