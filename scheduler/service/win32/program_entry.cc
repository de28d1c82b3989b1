// The process entry of scheduler.exe: splits the command-line tail, picks the
// mode and carries it out. The exit code is 0 in every mode and on every
// failure; the only thing ever shown is the success box of /install and
// /uninstall.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "common/win32/scoped_handle.h"
#include "scheduler/service/program_mode.h"
#include "scheduler/service/win32/program_modes.h"
#include "scheduler/service/win32/service_control.h"

namespace service {
namespace {

constexpr char kMessageCaption[] = "Veltrane";

std::vector<std::u16string> SplitArguments(const wchar_t* command_tail) {
  std::vector<std::u16string> arguments;
  int count = 0;
  // An empty tail gives one argument, the program's own path, which is no
  // switch and so selects the service like no argument at all.
  LPWSTR* split = ::CommandLineToArgvW(command_tail, &count);
  win32::ScopedLocalMemory owner(split);
  if (split == nullptr || count <= 0) return arguments;
  for (int i = 0; i < count; ++i) arguments.emplace_back(reinterpret_cast<const char16_t*>(split[i]));
  return arguments;
}

void ShowSuccess(const char* text) {
  ::MessageBoxA(nullptr, text, kMessageCaption, MB_OK | MB_ICONINFORMATION);
}

void RunProgram(const wchar_t* command_tail) {
  switch (SelectProgramMode(SplitArguments(command_tail))) {
    case ProgramMode::kInstall:
      if (InstallService()) ShowSuccess("Service successfully installed.");
      break;
    case ProgramMode::kUninstall:
      if (UninstallService()) ShowSuccess("Service successfully uninstalled.");
      break;
    case ProgramMode::kAgent:
      RunAgentMode();
      break;
    case ProgramMode::kService:
      RunServiceMode();
      break;
  }
}

}  // namespace
}  // namespace service

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_tail, int) {
  service::RunProgram(command_tail != nullptr ? command_tail : L"");
  return 0;
}
