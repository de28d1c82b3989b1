// The agent's start-up objects and its event window on the real system. No
// service entry exists here, so the service starts and stops that the window
// asks for fail quietly.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "scheduler/agent/win32/event_window.h"
#include "scheduler/shared/agent_session.h"

namespace agent {
namespace {

TEST(EventWindowTest, StartUpHoldsTheSessionMutexAndAHiddenWindowWithItsTick) {
  DWORD session = 0;
  ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
  const std::u16string mutex_name = shared::AgentSessionMutexName(session);

  ASSERT_TRUE(SchedulerCreateWindow());
  win32::ScopedHandle mutex(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, win32::Wide(mutex_name)));
  EXPECT_TRUE(mutex);

  const HWND window = FindWindowW(kEventWindowClass, kEventWindowClass);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window, EventWindowHandle());
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & WS_POPUP, static_cast<LONG>(WS_POPUP));

  // The one-second tick arrives as WM_TIMER with id 1.
  MSG message = {};
  bool ticked = false;
  const DWORD deadline = GetTickCount() + 3000;
  while (!ticked && GetTickCount() < deadline) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 200, QS_ALLINPUT);
    while (PeekMessageW(&message, window, WM_TIMER, WM_TIMER, PM_REMOVE)) {
      if (message.wParam == kTickTimerId) ticked = true;
      DispatchMessageW(&message);
    }
  }
  EXPECT_TRUE(ticked);

  // The session never waits on the agent, and the window ends the loop when destroyed.
  EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  EXPECT_EQ(SendMessageW(window, WM_ENDSESSION, TRUE, 0), 0);
  ASSERT_TRUE(DestroyWindow(window));
  ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 0u);

  CloseSessionMutex();
  mutex.reset();
  win32::ScopedHandle after(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, win32::Wide(mutex_name)));
  EXPECT_FALSE(after);
}

}  // namespace
}  // namespace agent
