// A minimal own-process service for the service-control tests, registered
// under the scheduler's service name. Each start appends one line to the log
// beside the executable (same name, extension .log): the start arguments that
// ServiceMain received, joined by tabs. It runs until it is told to stop, or
// for at most two minutes.
#include <windows.h>

#include <string>

namespace {

constexpr DWORD kLongestRunMs = 2 * 60 * 1000;

SERVICE_STATUS_HANDLE g_status_handle = nullptr;
HANDLE g_stop_event = nullptr;

void Report(DWORD state) {
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  ::SetServiceStatus(g_status_handle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING);
    ::SetEvent(g_stop_event);
  }
  return NO_ERROR;
}

void AppendLine(DWORD count, wchar_t** arguments) {
  std::wstring line;
  for (DWORD i = 0; i < count; ++i) {
    if (i > 0) line.push_back(L'\t');
    line += arguments[i];
  }
  std::string utf8(
      static_cast<std::size_t>(::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr)),
      '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
  utf8.back() = '\n';  // in place of the terminator

  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length < 4 || length >= MAX_PATH) return;
  std::wstring log(path, length - 4);
  log += L".log";
  HANDLE file = ::CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  ::CloseHandle(file);
}

void WINAPI ServiceMain(DWORD count, wchar_t** arguments) {
  g_status_handle = ::RegisterServiceCtrlHandlerExW(arguments[0], Handler, nullptr);
  if (g_status_handle == nullptr) return;
  g_stop_event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  AppendLine(count, arguments);
  Report(SERVICE_RUNNING);
  ::WaitForSingleObject(g_stop_event, kLongestRunMs);
  ::CloseHandle(g_stop_event);
  Report(SERVICE_STOPPED);
}

}  // namespace

int wmain() {
  wchar_t name[] = L"VeltraneScheduler";
  SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
