#include "scheduler/service/program_mode.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace service {
namespace {

ProgramMode Select(std::vector<std::u16string> arguments) { return SelectProgramMode(arguments); }

TEST(SelectProgramMode, SwitchesMatchWholeArgumentsInAnyCase) {
  EXPECT_EQ(Select({u"/install"}), ProgramMode::kInstall);
  EXPECT_EQ(Select({u"/INSTALL"}), ProgramMode::kInstall);
  EXPECT_EQ(Select({u"/Uninstall"}), ProgramMode::kUninstall);
  EXPECT_EQ(Select({u"/user"}), ProgramMode::kAgent);
  EXPECT_EQ(Select({u"/USER"}), ProgramMode::kAgent);
  EXPECT_EQ(Select({u"/User"}), ProgramMode::kAgent);
}

TEST(SelectProgramMode, NearMissesAreIgnoredAndLeaveTheService) {
  for (const char16_t* argument : {u"-install", u"install", u"/installx", u"/instal", u" /install",
                                   u"/install ", u"-user", u"user", u"/users", u"/uninstal", u"//user",
                                   u"", u"/\u0130nstall"}) {
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

// Answers as told and records every step it is asked for.
class RecordingUserMode : public UserModePlatform {
 public:
  bool startup = false;
  bool administrator = true;
  bool window = true;
  std::vector<std::string> steps;

  bool IsStartupSchedule() override { return startup; }
  void LaunchScheduledScan() override { steps.push_back("scan"); }
  bool IsAdministratorsMember() override {
    steps.push_back("admin-test");
    return administrator;
  }
  bool CreateAgentWindow() override {
    steps.push_back("window");
    return window;
  }
  void RunAgentLoop() override { steps.push_back("loop"); }
  void CloseSessionMutex() override { steps.push_back("close-mutex"); }
};

TEST(RunUserMode, StartupScheduleStartsTheScanForAnyUserAndNothingElse) {
  for (bool administrator : {true, false}) {
    RecordingUserMode platform;
    platform.startup = true;
    platform.administrator = administrator;
    RunUserMode(platform);
    EXPECT_THAT(platform.steps, ::testing::ElementsAre("scan")) << administrator;
  }
}

TEST(RunUserMode, OtherwiseOnlyAnAdministratorBecomesTheAgent) {
  RecordingUserMode agent;
  RunUserMode(agent);
  EXPECT_THAT(agent.steps, ::testing::ElementsAre("admin-test", "window", "loop", "close-mutex"));

  RecordingUserMode standard_user;
  standard_user.administrator = false;
  RunUserMode(standard_user);
  EXPECT_THAT(standard_user.steps, ::testing::ElementsAre("admin-test"));

  RecordingUserMode no_window;
  no_window.window = false;
  RunUserMode(no_window);
  EXPECT_THAT(no_window.steps, ::testing::ElementsAre("admin-test", "window", "close-mutex"));
}

}  // namespace
}  // namespace service
