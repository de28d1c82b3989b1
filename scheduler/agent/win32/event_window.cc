#include "scheduler/agent/win32/event_window.h"

#include <string>

#include "common/trace/trace.h"
#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "scheduler/agent/event_window_logic.h"
#include "scheduler/agent/win32/busy_state.h"
#include "scheduler/shared/win32/agent_session.h"
#include "scheduler/shared/win32/service_control.h"

namespace agent {
namespace {

// Held for the agent's lifetime: its existence tells the service that this
// session is served.
win32::ScopedHandle g_session_mutex;
HWND g_event_window = nullptr;

class Win32EventWindowHost final : public EventWindowHost {
 public:
  explicit Win32EventWindowHost(HWND window) : window_(window) {}
  void StopService() override { shared::StopSchedulerService(); }
  void StartService(bool end_session) override { shared::StartSchedulerService(end_session); }
  void StopTick() override { KillTimer(window_, kTickTimerId); }
  void PostQuit() override { PostQuitMessage(0); }
  void CheckBusy() override { QueryBusyState(); }

 private:
  HWND window_;
};

WindowMessage Classify(UINT message) {
  switch (message) {
    case WM_CREATE:
      return WindowMessage::kCreate;
    case WM_DESTROY:
      return WindowMessage::kDestroy;
    case WM_QUERYENDSESSION:
      return WindowMessage::kQueryEndSession;
    case WM_ENDSESSION:
      return WindowMessage::kEndSession;
    case WM_TIMER:
      return WindowMessage::kTimer;
    default:
      return WindowMessage::kOther;
  }
}

}  // namespace

LRESULT CALLBACK EventWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Win32EventWindowHost host(window);
  const std::optional<std::intptr_t> result = HandleEventWindowMessage(
      Classify(message), static_cast<std::uint64_t>(wparam), static_cast<std::uint64_t>(lparam), host);
  if (result) return static_cast<LRESULT>(*result);
  return DefWindowProcW(window, message, wparam, lparam);
}

HWND CreateEventWindow() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = &EventWindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  window_class.lpszClassName = kEventWindowClass;
  // A class left registered by an earlier start in this process is fine.
  RegisterClassExW(&window_class);
  return CreateWindowExW(0, kEventWindowClass, kEventWindowClass, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance,
                         nullptr);
}

bool SchedulerCreateWindow() {
  DWORD session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) return false;
  // An agent that finds the mutex already there opens it and carries on.
  g_session_mutex = shared::CreateAgentSessionMutex(session);

  const HWND window = CreateEventWindow();
  g_event_window = window;
  trace::Trace("SchedulerCreateWindow %p\r\n", static_cast<void*>(window));
  if (window == nullptr) return false;
  SetTimer(window, kTickTimerId, kTickMilliseconds, nullptr);
  return true;
}

HWND EventWindowHandle() { return g_event_window; }

void CloseSessionMutex() { g_session_mutex.reset(); }

}  // namespace agent
