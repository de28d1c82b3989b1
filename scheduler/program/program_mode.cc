#include "scheduler/program/program_mode.h"

#include <string_view>

#include "common/text/ascii_case.h"

namespace program {
namespace {

// `argument` is `lower_switch` as a whole, ASCII letters in any case.
bool IsSwitch(std::u16string_view argument, std::u16string_view lower_switch) {
  return text::EqualsIgnoringAsciiCase(argument, lower_switch);
}

}  // namespace

ProgramMode SelectProgramMode(std::span<const std::u16string> arguments) {
  bool agent = false;
  bool busy_test = false;
  for (const std::u16string& argument : arguments) {
    if (IsSwitch(argument, u"/user")) {
      agent = true;
    } else if (IsSwitch(argument, u"/busy")) {
      busy_test = true;
    } else if (IsSwitch(argument, u"/install")) {
      return ProgramMode::kInstall;
    } else if (IsSwitch(argument, u"/uninstall")) {
      return ProgramMode::kUninstall;
    }
  }
  if (busy_test) return ProgramMode::kBusyTest;
  return agent ? ProgramMode::kAgent : ProgramMode::kService;
}

void RunUserMode(UserModePlatform& platform) {
  if (platform.IsSystemRunAs()) return;
  if (platform.IsStartupSchedule()) {
    platform.LaunchScheduledScan();
    return;
  }
  if (!platform.IsAdministratorsMember()) {
    platform.ReportNoScansForStandardUser();
    return;
  }
  if (platform.CreateAgentWindow()) platform.RunAgentLoop();
  platform.CloseSessionMutex();
}

}  // namespace program
