// The agent in its user session: the session mutex, the hidden event window
// with its one-second tick, and the loop that waits on window messages, the
// update event and the schedule timer.
#pragma once

#include <windows.h>

namespace agent {

inline constexpr wchar_t kEventWindowClass[] = L"Veltrane Scheduler Event Window";
inline constexpr UINT_PTR kTickTimerId = 1;
inline constexpr UINT kTickMilliseconds = 1000;

// Creates the session mutex "Global\Veltrane Scheduler Session <id>" for the
// own session and the event window (whose creation stops the service), and
// starts the tick. True when the window exists.
bool SchedulerCreateWindow();

// Registers the window class and creates the hidden window; null on failure.
HWND CreateEventWindow();

LRESULT CALLBACK EventWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Runs until the update event is set (the service is left stopped) or the
// window is gone (the service is started again).
void AgentLoop();

// The window SchedulerCreateWindow made, or null.
HWND EventWindowHandle();

// Closes the session mutex that SchedulerCreateWindow made.
void CloseSessionMutex();

}  // namespace agent
