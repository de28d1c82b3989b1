// The process entry of scheduler.exe: splits the command-line tail, picks the
// mode and carries it out. The exit code is 0 in every mode and on every
// failure, but for /busy, which answers with it; the only thing ever shown is the success box of /install and
// /uninstall, in the user's display language.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/text/display_text.h"
#include "common/trace/trace.h"
#include "common/win32/module_path.h"
#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "common/win32/string_resource.h"
#include "common/win32/wide.h"
#include "scheduler/agent/win32/busy_state.h"
#include "scheduler/events/scheduler_events.h"
#include "scheduler/events/win32/event_log.h"
#include "scheduler/program/program_mode.h"
#include "scheduler/program/win32/program_modes.h"
#include "scheduler/program/win32/scheduler_resource_ids.h"
#include "scheduler/shared/win32/service_control.h"

namespace program {
namespace {

constexpr wchar_t kMessageCaption[] = L"Veltrane";
// The English texts, also for a language the resources have none in.
constexpr std::u16string_view kInstalledText = u"Service successfully installed.";
constexpr std::u16string_view kUninstalledText = u"Service successfully uninstalled.";

std::vector<std::u16string> SplitArguments(const wchar_t* command_tail) {
  std::vector<std::u16string> arguments;
  int count = 0;
  // An empty tail gives one argument, the program's own path, which is no
  // switch and so selects the service like no argument at all.
  LPWSTR* split = ::CommandLineToArgvW(command_tail, &count);
  win32::ScopedLocalMemory owner(split);
  if (split == nullptr || count <= 0) return arguments;
  for (int i = 0; i < count; ++i) arguments.emplace_back(win32::Utf16(split[i]));
  return arguments;
}

// The wide box: a translated text does not fit the ANSI code page of every
// machine (a Japanese text on a Western one), and MessageBoxA would show it
// as question marks.
void ShowSuccess(UINT text_id, std::u16string_view english) {
  const std::u16string shown =
      text::DisplayText(win32::LoadStringResource(::GetModuleHandleW(nullptr), text_id), english);
  ::MessageBoxW(nullptr, win32::Wide(shown), kMessageCaption, MB_OK | MB_ICONINFORMATION);
}

std::u16string OwnPath() {
  wchar_t path[MAX_PATH] = {};
  DWORD length = 0;
  return win32::ModuleFileName(nullptr, path, length) == ERROR_SUCCESS ? win32::FromWide(path) : std::u16string();
}

// The event source comes with the service entry and goes with it; its
// registration's own failure changes neither the result nor the box.
bool Install() {
  const bool installed = shared::InstallService();
  if (installed && !events::RegisterEventSourceKey()) trace::Trace("Event source not registered\r\n");
  events::ServiceInstalled(installed, OwnPath());
  return installed;
}

bool Uninstall() {
  const bool uninstalled = shared::UninstallService();
  events::ServiceUninstalled(uninstalled);
  if (uninstalled && !events::RemoveEventSourceKey()) trace::Trace("Event source not removed\r\n");
  return uninstalled;
}

// The process's exit code: 0, but for the busy test, whose answer it is.
int RunProgram(const wchar_t* command_tail) {
  events::SetSink(&events::EventLogSink());
  switch (SelectProgramMode(SplitArguments(command_tail))) {
    case ProgramMode::kInstall:
      if (Install()) ShowSuccess(IDS_SERVICE_INSTALLED, kInstalledText);
      break;
    case ProgramMode::kUninstall:
      if (Uninstall()) ShowSuccess(IDS_SERVICE_UNINSTALLED, kUninstalledText);
      break;
    case ProgramMode::kAgent:
      RunAgentMode();
      break;
    case ProgramMode::kService:
      RunServiceMode();
      break;
    case ProgramMode::kBusyTest:
      // The state's number is the exit code the service reads.
      return static_cast<int>(agent::QueryBusyState());
  }
  return 0;
}

}  // namespace
}  // namespace program

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_tail, int) {
  return program::RunProgram(command_tail != nullptr ? command_tail : L"");
}
