// The control handler driven directly, with the session-change notification
// that Wine's service control manager never sends: a logon at the console in
// start-up mode starts "/user" under that user's token, which starts the
// scan, and the handler returns while the logon's launch is still under way.
#include <windows.h>
#include <wtsapi32.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "scheduler/program/win32/program_modes.h"
#include "scheduler/service/win32/service_main.h"
#include "scheduler/shared/agent_session.h"
#include "scheduler/shared/win32/agent_session.h"
#include "support/win32/platform.h"
#include "support/win32/process_runner.h"
#include "support/win32/stand_in_scanner.h"

namespace service {
namespace {

using Lines = std::vector<std::wstring>;

// A logon starts "<own path>" /user: this program. Where the test has made
// the events below, it stands in for the agent, tells the test that it runs
// and stays until the test lets it go, so that the launch's hand-off is
// still waiting. Otherwise it runs the real "/user" mode.
constexpr wchar_t kAgentStartedEvent[] = L"ControlHandlerTest Agent Started";
constexpr wchar_t kAgentReleaseEvent[] = L"ControlHandlerTest Agent Release";

int RunUserMode() {
  win32::ScopedHandle started(OpenEventW(EVENT_MODIFY_STATE, FALSE, kAgentStartedEvent));
  win32::ScopedHandle release(OpenEventW(SYNCHRONIZE, FALSE, kAgentReleaseEvent));
  if (!started || !release) {
    program::RunAgentMode();
    return 0;
  }
  SetEvent(started.get());
  return WaitForSingleObject(release.get(), 60000) == WAIT_OBJECT_0 ? 0 : 2;
}

class ControlHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test_support::RunningUnderWine()) GTEST_SKIP() << "a session user's token needs LocalSystem on Windows";
    ASSERT_TRUE(scanner_.ok());
    console_ = WTSGetActiveConsoleSessionId();
    ASSERT_NE(console_, 0xFFFFFFFFu);
  }
  void TearDown() override {
    EXPECT_TRUE(WaitForLogonWork(20000));
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Veltrane");
  }

  static void SetSchedule(const char16_t* when) {
    win32::RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Veltrane", KEY_SET_VALUE), ERROR_SUCCESS);
    ASSERT_EQ(key.WriteText(u"SchedulerWhen", when), ERROR_SUCCESS);
  }

  DWORD SessionEvent(DWORD event_type, DWORD session) {
    WTSSESSION_NOTIFICATION notification = {sizeof notification, session};
    return ServiceCtrlHandler(SERVICE_CONTROL_SESSIONCHANGE, event_type, &notification, nullptr);
  }

  test_support::StandInScanner scanner_{test_support::kSchedulerApplicationSubkey};
  DWORD console_ = 0;
};

TEST_F(ControlHandlerTest, ConsoleLogonInStartupModeStartsUserModeWhichStartsTheScanInTheSession) {
  SetSchedule(u"startup");
  // The service creates no scan itself: the program it starts with /user
  // (this one) runs the real "/user" mode, which starts the scan.
  EXPECT_EQ(SessionEvent(WTS_SESSION_LOGON, console_), static_cast<DWORD>(NO_ERROR));
  EXPECT_EQ(scanner_.WaitForLog(1, 10000), Lines{test_support::Quoted(scanner_.path()) + L" /scan:boot /quiet /quick"});
}

TEST_F(ControlHandlerTest, OtherSessionsOtherEventsAndMissingDataStartNothing) {
  SetSchedule(u"STARTUP");
  EXPECT_EQ(SessionEvent(WTS_SESSION_LOGON, console_ + 1), static_cast<DWORD>(NO_ERROR));
  for (DWORD event : {WTS_CONSOLE_CONNECT, WTS_SESSION_LOGOFF, WTS_SESSION_LOCK, WTS_SESSION_UNLOCK}) {
    EXPECT_EQ(SessionEvent(event, console_), static_cast<DWORD>(NO_ERROR));
  }
  EXPECT_EQ(ServiceCtrlHandler(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGON, nullptr, nullptr),
            static_cast<DWORD>(NO_ERROR));
  EXPECT_EQ(ServiceCtrlHandler(SERVICE_CONTROL_INTERROGATE, 0, nullptr, nullptr), static_cast<DWORD>(NO_ERROR));
  Sleep(2000);
  EXPECT_TRUE(scanner_.Log().empty());
}

TEST_F(ControlHandlerTest, ConsoleLogonOutsideStartupModeStartsNoScanAndNoSecondAgent) {
  SetSchedule(u"daily");
  // An agent serves the console session already (this test holds its mutex),
  // so the logon starts nothing at all.
  win32::ScopedHandle agent_mutex(shared::CreateAgentSessionMutex(console_));
  ASSERT_TRUE(agent_mutex);
  EXPECT_EQ(SessionEvent(WTS_SESSION_LOGON, console_), static_cast<DWORD>(NO_ERROR));
  Sleep(2000);
  EXPECT_TRUE(scanner_.Log().empty());
}

TEST_F(ControlHandlerTest, LogonHandlerReturnsWhileTheAgentLaunchIsStillInProgress) {
  SetSchedule(u"daily");
  win32::ScopedHandle started(CreateEventW(nullptr, TRUE, FALSE, kAgentStartedEvent));
  win32::ScopedHandle release(CreateEventW(nullptr, TRUE, FALSE, kAgentReleaseEvent));
  ASSERT_TRUE(started && release);

  EXPECT_EQ(SessionEvent(WTS_SESSION_LOGON, console_), static_cast<DWORD>(NO_ERROR));
  // The handler has returned; the agent it queued starts and is held, so its
  // launch cannot have ended yet.
  ASSERT_EQ(WaitForSingleObject(started.get(), 20000), WAIT_OBJECT_0) << "no agent was started";
  EXPECT_FALSE(WaitForLogonWork(0));
  SetEvent(release.get());
  EXPECT_TRUE(WaitForLogonWork(20000));
}

}  // namespace
}  // namespace service

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "/user") return service::RunUserMode();
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
