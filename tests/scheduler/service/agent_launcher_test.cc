#include "scheduler/service/agent_launcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>
#include <vector>

#include "support/recording_events.h"

namespace service {
namespace {

TEST(AgentNamesTest, CommandLineQuotesThePathSoBlanksStayOneArgument) {
  EXPECT_EQ(AgentCommandLine(u"C:\\Program Files\\Veltrane\\scheduler.exe"),
            u"\"C:\\Program Files\\Veltrane\\scheduler.exe\" /user");
  EXPECT_EQ(AgentCommandLine(u""), u"\"\" /user");
}

// A session whose agent takes its mutex after a number of probes, or never.
class FakeSessions : public AgentLaunchPlatform {
 public:
  struct Agent : StartedAgent {
    explicit Agent(FakeSessions& owner) : owner(owner) {}
    bool WaitForExit(std::chrono::milliseconds) override {
      ++owner.exit_waits_;
      if (owner.agent_exits_at_once_) return true;
      // Give a competing thread the chance to probe in between.
      std::this_thread::yield();
      return false;
    }
    FakeSessions& owner;
  };

  bool IsAgentInSession(std::uint32_t) override {
    ++probes_;
    if (started_ > 0 && !agent_exits_at_once_ && ++probes_since_start_ > probes_until_mutex_) mutex_exists_ = true;
    return mutex_exists_;
  }
  std::unique_ptr<StartedAgent> StartAgent(std::uint32_t, events::AgentStart& outcome) override {
    if (!start_succeeds_) {
      outcome = failure_;
      return nullptr;
    }
    outcome.user = u"PC\\ada";
    outcome.process_id = 4242;
    ++started_;
    probes_since_start_ = 0;
    return std::make_unique<Agent>(*this);
  }

  std::atomic<bool> mutex_exists_{false};
  bool start_succeeds_ = true;
  events::AgentStart failure_{events::AgentStart::Result::kNoUserToken, 1008, u"", 0};
  bool agent_exits_at_once_ = false;
  int probes_until_mutex_ = 3;  // hand-off probes before the agent holds its mutex
  std::atomic<int> started_{0};
  std::atomic<int> probes_{0};
  std::atomic<int> probes_since_start_{0};
  std::atomic<int> exit_waits_{0};
};

TEST(AgentLauncherTest, ServedSessionStartsNothingAndAsksForNoToken) {
  FakeSessions sessions;
  sessions.mutex_exists_ = true;
  AgentLauncher launcher(sessions);
  EXPECT_FALSE(launcher.LaunchAgentInSession(1));
  EXPECT_EQ(sessions.started_, 0);
}

TEST(AgentLauncherTest, FailedStartIsFalse) {
  FakeSessions sessions;
  sessions.start_succeeds_ = false;
  AgentLauncher launcher(sessions);
  EXPECT_FALSE(launcher.LaunchAgentInSession(1));
}

// Each launch tells the Event Log once who got the agent, or why nobody did;
// nobody at the console is ordinary, a refused token or process is not.
TEST(AgentLauncherTest, EachLaunchReportsWhoGotTheAgentOrWhyNot) {
  using Result = events::AgentStart::Result;
  using Level = events::Level;
  const std::tuple<events::AgentStart, int, Level, std::vector<std::u16string>> cases[] = {
      {{Result::kStarted, 0, u"", 0}, 200, Level::kInformation, {u"7", u"PC\\ada", u"4242"}},
      {{Result::kNoUserToken, 1008, u"", 0}, 201, Level::kInformation, {u"7"}},
      {{Result::kNoUserToken, 5, u"", 0}, 202, Level::kError, {u"7", u"5"}},
      {{Result::kNoProcess, 1314, u"PC\\bob", 0}, 203, Level::kError, {u"7", u"PC\\bob", u"1314"}},
  };
  for (const auto& [failure, code, level, inserts] : cases) {
    FakeSessions sessions;
    sessions.start_succeeds_ = failure.result == Result::kStarted;
    sessions.failure_ = failure;
    sessions.agent_exits_at_once_ = true;
    test_support::RecordingEvents events;
    AgentLauncher(sessions).LaunchAgentInSession(7);
    ASSERT_EQ(events.codes(), std::vector<int>{code});
    EXPECT_EQ(events.all()[0].level, level);
    EXPECT_EQ(events.all()[0].inserts, inserts);
  }
}

TEST(AgentLauncherTest, LaunchReturnsOnlyOnceItsAgentHoldsTheMutex) {
  FakeSessions sessions;
  AgentLauncher launcher(sessions);
  EXPECT_TRUE(launcher.LaunchAgentInSession(1));
  EXPECT_TRUE(sessions.mutex_exists_);
  EXPECT_EQ(sessions.exit_waits_, 3);
  // The next logon in that session finds the agent.
  EXPECT_FALSE(launcher.LaunchAgentInSession(1));
  EXPECT_EQ(sessions.started_, 1);
}

TEST(AgentLauncherTest, AgentThatEndsAtOnceEndsTheHandOffAndCanBeStartedAgain) {
  FakeSessions sessions;
  sessions.agent_exits_at_once_ = true;
  AgentLauncher launcher(sessions);
  EXPECT_TRUE(launcher.LaunchAgentInSession(1));
  EXPECT_EQ(sessions.exit_waits_, 1);
  EXPECT_TRUE(launcher.LaunchAgentInSession(1));
  EXPECT_EQ(sessions.started_, 2);
}

TEST(AgentLauncherTest, HandOffGivesUpAfterItsLimit) {
  FakeSessions sessions;
  sessions.probes_until_mutex_ = 1 << 30;  // an agent that hangs before taking its mutex
  AgentLauncher launcher(sessions);
  EXPECT_TRUE(launcher.LaunchAgentInSession(1));
  EXPECT_EQ(sessions.exit_waits_, AgentLauncher::kHandOffLimit / AgentLauncher::kHandOffPoll);
}

TEST(AgentLauncherTest, StartAndLogonAtTheSameMomentStartOneAgent) {
  FakeSessions sessions;
  sessions.probes_until_mutex_ = 20;
  AgentLauncher launcher(sessions);
  std::atomic<int> launched{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      if (launcher.LaunchAgentInSession(1)) ++launched;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(launched, 1);
  EXPECT_EQ(sessions.started_, 1);
}

}  // namespace
}  // namespace service
