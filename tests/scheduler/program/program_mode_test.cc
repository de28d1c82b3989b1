#include "scheduler/program/program_mode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace program {
namespace {

ProgramMode Select(std::vector<std::u16string> arguments) { return SelectProgramMode(arguments); }

TEST(SelectProgramMode, SwitchesMatchWholeArgumentsInAnyCase) {
  EXPECT_EQ(Select({u"/install"}), ProgramMode::kInstall);
  EXPECT_EQ(Select({u"/INSTALL"}), ProgramMode::kInstall);
  EXPECT_EQ(Select({u"/Uninstall"}), ProgramMode::kUninstall);
  EXPECT_EQ(Select({u"/user"}), ProgramMode::kAgent);
  EXPECT_EQ(Select({u"/USER"}), ProgramMode::kAgent);
  EXPECT_EQ(Select({u"/User"}), ProgramMode::kAgent);
  EXPECT_EQ(Select({u"/user", u"/BUSY"}), ProgramMode::kBusyTest);
  EXPECT_EQ(Select({u"/busy", u"/install"}), ProgramMode::kInstall);
}

TEST(SelectProgramMode, NearMissesAreIgnoredAndLeaveTheService) {
  for (const char16_t* argument : {u"-install", u"install", u"/installx", u"/instal", u" /install", u"/install ",
                                   u"-user", u"user", u"/users", u"/uninstal", u"//user", u"", u"/\u0130nstall"}) {
    EXPECT_EQ(Select({argument}), ProgramMode::kService) << std::u16string(argument).size();
  }
}

TEST(SelectProgramMode, NoArgumentsOrOnlyTheProgramPathIsTheService) {
  EXPECT_EQ(Select({}), ProgramMode::kService);
  // What splitting an empty tail gives: the program's own path.
  EXPECT_EQ(Select({u"C:\\Program Files\\Veltrane\\scheduler.exe"}), ProgramMode::kService);
}

TEST(SelectProgramMode, TheFirstInstallationSwitchDecidesAndTheRestIsNotRead) {
  EXPECT_EQ(Select({u"/install", u"/uninstall"}), ProgramMode::kInstall);
  EXPECT_EQ(Select({u"/uninstall", u"/install"}), ProgramMode::kUninstall);
  EXPECT_EQ(Select({u"junk", u"/uninstall", u"/user"}), ProgramMode::kUninstall);
}

TEST(SelectProgramMode, InstallationWinsOverTheAgentInEitherOrder) {
  EXPECT_EQ(Select({u"/user", u"/install"}), ProgramMode::kInstall);
  EXPECT_EQ(Select({u"/install", u"/user"}), ProgramMode::kInstall);
  EXPECT_EQ(Select({u"/USER", u"/uninstall"}), ProgramMode::kUninstall);
}

TEST(SelectProgramMode, TheAgentSwitchCountsAnywhereAmongOtherArguments) {
  EXPECT_EQ(Select({u"x", u"/user", u"y"}), ProgramMode::kAgent);
  EXPECT_EQ(Select({u"/user", u"/user"}), ProgramMode::kAgent);
  EXPECT_EQ(Select({u"-install", u"/User"}), ProgramMode::kAgent);
}

// Answers as told and records what it is asked to do.
struct RecordingUserMode : UserModePlatform {
  bool startup = false, administrator = true, window = true, system = false;
  std::string steps;
  bool IsSystemRunAs() override { return system; }
  bool IsStartupSchedule() override { return startup; }
  void LaunchScheduledScan() override { steps += "scan "; }
  bool IsAdministratorsMember() override { return administrator; }
  void ReportNoScansForStandardUser() override { steps += "no-scans-event "; }
  bool CreateAgentWindow() override {
    steps += "window ";
    return window;
  }
  void RunAgentLoop() override { steps += "loop "; }
  void CloseSessionMutex() override { steps += "close "; }
};

TEST(RunUserMode, StartupModeScansForAnyUserAndOtherwiseOnlyAnAdministratorBecomesTheAgent) {
  const struct {
    bool startup, administrator, window;
    const char* steps;
  } cases[] = {{true, true, true, "scan "},
               {true, false, false, "scan "},
               {false, true, true, "window loop close "},
               {false, true, false, "window close "},
               {false, false, true, "no-scans-event "}};
  for (const auto& c : cases) {
    RecordingUserMode platform;
    platform.startup = c.startup;
    platform.administrator = c.administrator;
    platform.window = c.window;
    RunUserMode(platform);
    EXPECT_EQ(platform.steps, c.steps) << c.startup << c.administrator << c.window;
    // With "SchedulerRunAs" system the service keeps the schedule: no agent, no scan, no event.
    platform.steps.clear();
    platform.system = true;
    RunUserMode(platform);
    EXPECT_EQ(platform.steps, "") << c.startup << c.administrator << c.window;
  }
}

}  // namespace
}  // namespace program
