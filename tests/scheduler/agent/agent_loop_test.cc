#include "scheduler/agent/agent_loop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "support/fixed_clock.h"
#include "support/recording_events.h"

namespace agent {
namespace {

using ::testing::ElementsAre;

// Plays a script of wake-ups and records what the loop does.
class ScriptedHost : public AgentLoopHost {
 public:
  // One step of the script: what the message pump finds, then how the wait ends.
  struct Step {
    bool quit = false;
    WakeUp wake;
  };
  static Step Object(std::size_t index) { return {false, {WakeUp::Kind::kObject, index}}; }
  static Step Input() { return {false, {WakeUp::Kind::kInput, 0}}; }
  static Step Failed() { return {false, {WakeUp::Kind::kFailed, 0}}; }
  static Step Quit() { return {true, {}}; }

  bool update_event_opens_ = true;
  bool timer_created_ = true;
  std::deque<Step> script_;
  std::vector<std::string> calls_;
  std::vector<std::size_t> wait_counts_;
  std::deque<schedule::ArmedRun> runs_;  // what each arming stands at; none when empty

  bool OpenUpdateEvent() override {
    calls_.push_back("open-update");
    return update_event_opens_;
  }
  void LoadLastScanTime() override { calls_.push_back("last-scan"); }
  bool CreateScheduleTimer() override {
    calls_.push_back("create-timer");
    return timer_created_;
  }
  std::optional<schedule::ArmedRun> ArmScheduleTimer() override {
    calls_.push_back("arm");
    std::optional<schedule::ArmedRun> run =
        runs_.empty() ? std::nullopt : std::optional<schedule::ArmedRun>(runs_.front());
    if (run) runs_.pop_front();
    return run;
  }
  bool DispatchQueuedMessages() override {
    // A script that runs out ends like a closed window, so a loop that
    // misses its exit cannot hang the test.
    if (script_.empty() || script_.front().quit) {
      calls_.push_back("quit");
      return false;
    }
    return true;
  }
  WakeUp Wait(const WaitList& list) override {
    wait_counts_.push_back(list.count);
    const WakeUp wake = script_.front().wake;
    script_.pop_front();
    return wake;
  }
  void LaunchScheduledScan(events::ScanOccasion occasion) override {
    calls_.push_back(occasion == events::ScanOccasion::kCatchUp ? "catch-up scan" : "scan");
  }
  std::chrono::milliseconds DeferBusyLimit() override { return defer_limit_; }
  BusyState TestBusy() override {
    calls_.push_back("busy?");
    const BusyState state = busy_states_.empty() ? BusyState::kAcceptsNotifications : busy_states_.front();
    if (!busy_states_.empty()) busy_states_.pop_front();
    return state;
  }
  std::chrono::milliseconds Now() override { return now_ += std::chrono::seconds(1); }

  std::chrono::milliseconds defer_limit_{0};
  std::deque<BusyState> busy_states_;
  std::chrono::milliseconds now_{0};
  void PauseAfterFailedWait() override { calls_.push_back("pause"); }
  void CloseHandles() override { calls_.push_back("close"); }
  void ReleaseSession() override { calls_.push_back("release"); }
  void StartService() override { calls_.push_back("start-service"); }
  // No watch unless a test gives the settings it reads, one per reading.
  bool WatchSettings() override { return !settings_.empty(); }
  schedule::ScheduleSettings ReadScheduleSettings() override {
    if (settings_.empty()) return {};
    const schedule::ScheduleSettings read = settings_.front();
    if (settings_.size() > 1) settings_.pop_front();
    return read;
  }
  std::deque<schedule::ScheduleSettings> settings_;
};

TEST(WaitListTest, ListsOnlyTheObjectsThatExistInFixedOrder) {
  WaitList both = MakeWaitList(true, true);
  ASSERT_EQ(both.count, 2u);
  EXPECT_EQ(both.slots[0], WaitSlot::kUpdateEvent);
  EXPECT_EQ(both.slots[1], WaitSlot::kScheduleTimer);

  WaitList timer_only = MakeWaitList(false, true);
  ASSERT_EQ(timer_only.count, 1u);
  EXPECT_EQ(timer_only.slots[0], WaitSlot::kScheduleTimer);

  WaitList update_only = MakeWaitList(true, false);
  ASSERT_EQ(update_only.count, 1u);
  EXPECT_EQ(update_only.slots[0], WaitSlot::kUpdateEvent);

  EXPECT_EQ(MakeWaitList(false, false).count, 0u);
}

TEST(AgentLoopTest, UpdateEventEndsTheLoopAndLeavesTheServiceStopped) {
  ScriptedHost host;
  host.script_ = {ScriptedHost::Object(0)};
  EXPECT_EQ(RunAgentLoop(host), LoopEnd::kUpdateEvent);
  EXPECT_THAT(host.calls_, ElementsAre("open-update", "last-scan", "create-timer", "arm", "close", "release"));
}

TEST(AgentLoopTest, QuitClosesTheHandlesThenStartsTheService) {
  ScriptedHost host;
  host.script_ = {ScriptedHost::Input(), ScriptedHost::Quit()};
  EXPECT_EQ(RunAgentLoop(host), LoopEnd::kQuit);
  EXPECT_THAT(host.calls_, ElementsAre("open-update", "last-scan", "create-timer", "arm", "quit", "close", "release",
                                       "start-service"));
}

TEST(AgentLoopTest, EachTimerExpiryLaunchesTheScanAndArmsAgain) {
  ScriptedHost host;
  host.script_ = {ScriptedHost::Object(1), ScriptedHost::Input(), ScriptedHost::Object(1), ScriptedHost::Quit()};
  RunAgentLoop(host);
  EXPECT_THAT(host.calls_, ElementsAre("open-update", "last-scan", "create-timer", "arm", "scan", "arm", "scan", "arm",
                                       "quit", "close", "release", "start-service"));
  EXPECT_THAT(host.wait_counts_, ElementsAre(2u, 2u, 2u));
}

// The settings watch (slot 2): a new time re-arms at once, a wake-up that
// leaves the settings as they were (the scanner writing "LastScan") does not,
// and "SchedulerRunAs" system hands the schedule to the service.
TEST(AgentLoopTest, ChangedSettingsReArmAtOnceAndSystemRunAsEndsTheLoopForTheService) {
  ScriptedHost host;
  schedule::ScheduleSettings daily{u"daily", u"14:00"};
  schedule::ScheduleSettings later = daily, system = daily;
  later.around = u"18:00";
  system.run_as = schedule::RunAs::kSystem;
  host.settings_ = {daily, daily, later, system};
  host.script_ = {ScriptedHost::Object(2), ScriptedHost::Object(2), ScriptedHost::Object(2), ScriptedHost::Input()};
  EXPECT_EQ(RunAgentLoop(host), LoopEnd::kSystemRunAs);
  EXPECT_THAT(host.calls_, ElementsAre("open-update", "last-scan", "create-timer", "arm", "arm", "close", "release",
                                       "start-service"));
  EXPECT_THAT(host.wait_counts_, ElementsAre(3u, 3u, 3u));

  ScriptedHost at_start;
  at_start.settings_ = {system};
  EXPECT_EQ(RunAgentLoop(at_start), LoopEnd::kSystemRunAs);
  EXPECT_THAT(at_start.calls_,
              ElementsAre("open-update", "last-scan", "create-timer", "close", "release", "start-service"));
}

TEST(AgentLoopTest, WithoutUpdateEventTheTimerStillStartsScans) {
  ScriptedHost host;
  host.update_event_opens_ = false;
  host.script_ = {ScriptedHost::Object(0), ScriptedHost::Quit()};
  RunAgentLoop(host);
  EXPECT_THAT(host.calls_, ElementsAre("open-update", "last-scan", "create-timer", "arm", "scan", "arm", "quit",
                                       "close", "release", "start-service"));
  EXPECT_THAT(host.wait_counts_, ElementsAre(1u));
}

TEST(AgentLoopTest, WithoutTimerTheUpdateEventStillEndsTheLoop) {
  ScriptedHost host;
  host.timer_created_ = false;
  host.script_ = {ScriptedHost::Input(), ScriptedHost::Object(0)};
  EXPECT_EQ(RunAgentLoop(host), LoopEnd::kUpdateEvent);
  EXPECT_THAT(host.calls_, ElementsAre("open-update", "last-scan", "create-timer", "close", "release"));
  EXPECT_THAT(host.wait_counts_, ElementsAre(1u, 1u));
}

TEST(AgentLoopTest, WithNeitherObjectTheLoopWaitsForMessagesAlone) {
  ScriptedHost host;
  host.update_event_opens_ = false;
  host.timer_created_ = false;
  host.script_ = {ScriptedHost::Input(), ScriptedHost::Input(), ScriptedHost::Quit()};
  EXPECT_EQ(RunAgentLoop(host), LoopEnd::kQuit);
  EXPECT_THAT(host.wait_counts_, ElementsAre(0u, 0u));
  EXPECT_EQ(std::count(host.calls_.begin(), host.calls_.end(), "pause"), 0);
}

TEST(AgentLoopTest, FailedWaitPausesAndTheLoopGoesOn) {
  ScriptedHost host;
  host.script_ = {ScriptedHost::Failed(), ScriptedHost::Failed(), ScriptedHost::Object(1), ScriptedHost::Object(0)};
  EXPECT_EQ(RunAgentLoop(host), LoopEnd::kUpdateEvent);
  EXPECT_THAT(host.calls_, ElementsAre("open-update", "last-scan", "create-timer", "arm", "pause", "pause", "scan",
                                       "arm", "close", "release"));
}

TEST(AgentLoopTest, IndexBeyondTheListIsNotMistakenForAnObject) {
  ScriptedHost host;
  host.update_event_opens_ = false;
  host.script_ = {ScriptedHost::Object(1), ScriptedHost::Quit()};
  RunAgentLoop(host);
  EXPECT_EQ(std::count(host.calls_.begin(), host.calls_.end(), "scan"), 0);
}

}  // namespace
}  // namespace agent

namespace agent {
namespace {

using std::chrono::milliseconds;
using std::chrono::minutes;

TEST(ScanDeferralTest, ABusyUserHoldsTheScanUntilTheWindowGoesOrTheLimitPasses) {
  ScanDeferral deferral;
  EXPECT_FALSE(deferral.OnDue(minutes(5), BusyState::kBusy, milliseconds(0)));
  EXPECT_TRUE(deferral.waiting());
  EXPECT_FALSE(deferral.OnRecheck(BusyState::kBusy, minutes(5) - milliseconds(1)));
  EXPECT_TRUE(deferral.OnRecheck(BusyState::kAcceptsNotifications, minutes(5) - milliseconds(1)));
  // Started once: nothing waits any more.
  EXPECT_FALSE(deferral.waiting());
  EXPECT_FALSE(deferral.OnRecheck(BusyState::kAcceptsNotifications, minutes(6)));

  EXPECT_FALSE(deferral.OnDue(minutes(5), BusyState::kBusy, minutes(10)));
  EXPECT_TRUE(deferral.OnRecheck(BusyState::kBusy, minutes(15)));
}

TEST(ScanDeferralTest, AnAwayUserOrAnOrdinaryWindowNeverHoldsTheScan) {
  ScanDeferral deferral;
  EXPECT_TRUE(deferral.OnDue(minutes(5), BusyState::kNotPresent, milliseconds(0)));
  EXPECT_TRUE(deferral.OnDue(minutes(5), BusyState::kAcceptsNotifications, milliseconds(0)));
  EXPECT_FALSE(deferral.waiting());
}

TEST(AgentLoopTest, ADueScanWaitsWhileTheUserIsBusyAndStartsOnceWhenTheWindowGoes) {
  ScriptedHost host;
  host.defer_limit_ = minutes(5);
  host.busy_states_ = {BusyState::kBusy, BusyState::kBusy, BusyState::kAcceptsNotifications};
  host.script_ = {ScriptedHost::Object(1), ScriptedHost::Input(), ScriptedHost::Input(), ScriptedHost::Quit()};
  RunAgentLoop(host);
  EXPECT_THAT(host.calls_, ElementsAre("open-update", "last-scan", "create-timer", "arm", "busy?", "busy?", "busy?",
                                       "scan", "arm", "quit", "close", "release", "start-service"));
}

// A caught-up run, a deferral and the next due time each reach the Event Log
// once, however many ticks the wait takes; the update event ends with 210.
TEST(AgentLoopTest, EventsComeOncePerOccurrenceNeverPerTick) {
  ScriptedHost host;
  host.runs_ = {{test_support::Local(2026, 3, 15, 12, 0, 10), true},
                {test_support::Local(2026, 3, 16, 9, 5, 0), false}};
  host.defer_limit_ = minutes(5);
  host.busy_states_ = {BusyState::kBusy, BusyState::kBusy, BusyState::kBusy, BusyState::kAcceptsNotifications};
  host.script_ = {ScriptedHost::Object(1), ScriptedHost::Input(), ScriptedHost::Input(), ScriptedHost::Input(),
                  ScriptedHost::Object(0)};
  test_support::RecordingEvents events;
  EXPECT_EQ(RunAgentLoop(host), LoopEnd::kUpdateEvent);
  EXPECT_EQ(std::count(host.calls_.begin(), host.calls_.end(), "catch-up scan"), 1);
  ASSERT_EQ(events.codes(), (std::vector<int>{320, 321, 330, 210}));
  // Minutes of the limit, seconds waited on the host's clock, the next due time.
  const std::vector<std::vector<std::u16string>> inserts = {{u"5"}, {u"3"}, {u"2026-03-16 09:05:00"}, {}};
  for (std::size_t i = 0; i < inserts.size(); ++i) EXPECT_EQ(events.all()[i].inserts, inserts[i]);
}

}  // namespace
}  // namespace agent
