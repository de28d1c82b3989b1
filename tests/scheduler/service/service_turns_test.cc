#include "scheduler/service/service_turns.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "scheduler/service/serial_worker.h"
#include "support/in_memory_settings.h"
#include "support/recording_events.h"
#include "support/trace_capture.h"

namespace service {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Records every platform call, in order, as a short word.
class RecordingPlatform : public ServicePlatform {
 public:
  bool register_succeeds_ = true;
  bool startup_schedule_ = false;
  std::uint32_t console_ = 1;
  bool has_update_event_ = true;
  WaitOutcome outcome_ = WaitOutcome::kStopEvent;
  std::vector<std::string> calls_;
  std::vector<std::chrono::milliseconds> wait_hints_;
  // How long queued logon work goes on; WaitForLogonWork takes the time.
  std::chrono::milliseconds logon_work_left_{0};

  bool RegisterControlHandler() override {
    calls_.push_back("register");
    return register_succeeds_;
  }
  bool CreateUpdateEvent() override {
    calls_.push_back("update-event");
    return has_update_event_;
  }
  void CreateStopEvent() override { calls_.push_back("stop-event"); }
  void ReportStatus(ServiceState state) override {
    calls_.push_back(state == ServiceState::kRunning       ? "RUNNING"
                     : state == ServiceState::kStopPending ? "STOP_PENDING"
                                                           : "STOPPED");
  }
  void ReportStopProgress(std::chrono::milliseconds wait_hint) override {
    calls_.push_back("STOP_PENDING");
    wait_hints_.push_back(wait_hint);
    stopping_ = true;
  }
  bool IsStopping() override { return stopping_; }
  bool stopping_ = false;
  std::uint32_t ActiveConsoleSession() override { return console_; }
  bool IsStartupSchedule() override { return startup_schedule_; }
  void LaunchAgentInSession(std::uint32_t session) override { calls_.push_back("agent:" + std::to_string(session)); }
  void LaunchStartupScanInSession(std::uint32_t session) override {
    calls_.push_back("startup-scan:" + std::to_string(session));
  }
  void QueueLogonWork(std::uint32_t session) override { calls_.push_back("queue:" + std::to_string(session)); }
  bool WaitForLogonWork(std::chrono::milliseconds limit) override {
    calls_.push_back("drain");
    const bool done = logon_work_left_ <= limit;
    logon_work_left_ = done ? std::chrono::milliseconds::zero() : logon_work_left_ - limit;
    return done;
  }
  WaitOutcome WaitForStopOrUpdate(bool with_update_event) override {
    calls_.push_back(with_update_event ? "wait" : "wait-stop-only");
    if (wakeups_.empty()) return outcome_;
    const auto [outcome, run_as] = wakeups_.front();
    wakeups_.pop_front();
    run_as_ = run_as;
    return outcome;
  }
  void SetStopEvent() override { calls_.push_back("set-stop"); }
  void CloseEvents() override { calls_.push_back("close"); }

  // The service's own schedule, as the keeper drives it.
  struct Keeper final : schedule::KeeperPlatform, schedule::WaitableTimer {
    std::vector<std::string>& calls;
    test_support::InMemorySettings settings;
    explicit Keeper(std::vector<std::string>& c) : calls(c) {}
    const application::SettingsSource& Settings() override { return settings; }
    schedule::WaitableTimer& Timer() override { return *this; }
    bool ArmAt(std::int64_t) override {
      calls.push_back("arm");
      return true;
    }
    void CancelTimer() override { calls.push_back("cancel"); }
    schedule::RandomSource* Random() override { return nullptr; }
    void LaunchScan(events::ScanOccasion occasion) override {
      calls.push_back(occasion == events::ScanOccasion::kAtLogon ? "logon-scan" : "scan");
    }
    std::u16string Account() override { return u"NT AUTHORITY\\SYSTEM"; }
    bool ConsoleUserBusy() override { return false; }
  };
  schedule::RunAs run_as_ = schedule::RunAs::kUser;
  // Wake-ups before the last outcome_, each with the "SchedulerRunAs" read after it.
  std::deque<std::pair<WaitOutcome, schedule::RunAs>> wakeups_;
  Keeper keeper_{calls_};
  schedule::RunAs ReadRunAs() override { return run_as_; }
  schedule::KeeperPlatform& Schedule() override { return keeper_; }
  void CreateScheduleObjects() override {}
  void WatchSettings() override {}
  void RequestLogonScan() override { calls_.push_back("request-logon-scan"); }
  void SignalResume() override { calls_.push_back("resume"); }
};

const std::vector<std::u16string> kPlainStart = {u"VeltraneScheduler"};

TEST(ServiceMainTest, StartLaunchesAgentAtConsoleAndStopsThroughPendingToStopped) {
  RecordingPlatform platform;
  test_support::TraceCapture trace;
  RunServiceMain(kPlainStart, platform);
  EXPECT_THAT(platform.calls_, ElementsAre("register", "update-event", "stop-event", "RUNNING", "agent:1", "wait",
                                           "STOP_PENDING", "drain", "close", "STOPPED"));
  EXPECT_THAT(trace.lines(),
              ElementsAre("Service Arg[0] = VeltraneScheduler\r\n", "ServiceMain: Stopping [Control_Stop]\r\n"));
}

// The trace keeps its one reason; the Event Log tells the start and the true
// reason of the stop (102 for a control): a failed wait is an error.
TEST(ServiceMainTest, UpdateEventAndFailedWaitBothStopWithReasonUpdating) {
  for (WaitOutcome outcome : {WaitOutcome::kUpdateEvent, WaitOutcome::kFailed}) {
    RecordingPlatform platform;
    platform.outcome_ = outcome;
    test_support::TraceCapture trace;
    test_support::RecordingEvents events;
    RunServiceMain(kPlainStart, platform);
    const bool failed = outcome == WaitOutcome::kFailed;
    EXPECT_EQ(events.codes(), (std::vector<int>{100, failed ? 104 : 103}));
    EXPECT_EQ(events.all()[1].level, failed ? events::Level::kError : events::Level::kInformation);
    EXPECT_EQ(trace.lines().back(), "ServiceMain: Stopping [Updating]\r\n");
    EXPECT_THAT(std::vector<std::string>(platform.calls_.end() - 4, platform.calls_.end()),
                ElementsAre("STOP_PENDING", "drain", "close", "STOPPED"));
  }
}

TEST(ServiceMainTest, AStopThatWaitsForLogonWorkReportsProgressUntilTheWorkEndsOrTheLimit) {
  using std::chrono::milliseconds;
  for (const milliseconds work : {milliseconds(3500), milliseconds(60000)}) {
    RecordingPlatform platform;
    platform.logon_work_left_ = work;
    test_support::TraceCapture trace;
    RunServiceMain(kPlainStart, platform);
    // A report before each wait of a period, and no longer than the limit all told.
    const auto periods =
        (std::min(work, kLogonWorkStopLimit) + kStopProgressPeriod - milliseconds(1)) / kStopProgressPeriod;
    EXPECT_EQ(std::ranges::count(platform.calls_, "drain"), periods) << work.count();
    ASSERT_EQ(std::ssize(platform.wait_hints_), periods);
    // The first hint covers the whole wait; each outlasts a period and promises less than the one before.
    EXPECT_GE(platform.wait_hints_.front(), kLogonWorkStopLimit);
    EXPECT_GT(platform.wait_hints_.back(), kStopProgressPeriod);
    EXPECT_EQ(std::ranges::adjacent_find(platform.wait_hints_, std::ranges::less_equal{}), platform.wait_hints_.end());
    EXPECT_THAT(std::vector<std::string>(platform.calls_.end() - 2, platform.calls_.end()),
                ElementsAre("close", "STOPPED"));
    EXPECT_EQ(trace.lines().back() == "ServiceMain: logon work still running\r\n", work > kLogonWorkStopLimit);
  }
}

TEST(ServiceMainTest, NoHandlerMeansNoReportAtAll) {
  RecordingPlatform platform;
  platform.register_succeeds_ = false;
  RunServiceMain(kPlainStart, platform);
  EXPECT_THAT(platform.calls_, ElementsAre("register"));
}

TEST(ServiceMainTest, EndSessionStartInAnyCaseLaunchesNothing) {
  for (const char16_t* word : {u"endsession", u"EndSession", u"ENDSESSION"}) {
    RecordingPlatform platform;
    test_support::RecordingEvents events;
    RunServiceMain({u"VeltraneScheduler", word}, platform);
    EXPECT_EQ(events.codes(), (std::vector<int>{101, 102}));
    EXPECT_THAT(platform.calls_, ElementsAre("register", "update-event", "stop-event", "RUNNING", "wait",
                                             "STOP_PENDING", "drain", "close", "STOPPED"));
  }
}

TEST(ServiceMainTest, OnlyTheWholeWordEndSessionCounts) {
  for (const char16_t* word : {u"endsessions", u"/endsession", u"endsessio", u""}) {
    RecordingPlatform platform;
    RunServiceMain({u"VeltraneScheduler", word}, platform);
    EXPECT_EQ(platform.calls_[4], "agent:1");
  }
}

TEST(ServiceMainTest, StartupScheduleStartsNeitherAgentNorScan) {
  RecordingPlatform platform;
  platform.startup_schedule_ = true;
  RunServiceMain(kPlainStart, platform);
  EXPECT_THAT(platform.calls_, ElementsAre("register", "update-event", "stop-event", "RUNNING", "wait", "STOP_PENDING",
                                           "drain", "close", "STOPPED"));
}

TEST(ServiceMainTest, WithoutAnUpdateEventTheServiceStillServesAndWaitsForTheStopAlone) {
  RecordingPlatform platform;
  platform.has_update_event_ = false;
  test_support::TraceCapture trace;
  RunServiceMain(kPlainStart, platform);
  EXPECT_THAT(platform.calls_, ElementsAre("register", "update-event", "stop-event", "RUNNING", "agent:1",
                                           "wait-stop-only", "STOP_PENDING", "drain", "close", "STOPPED"));
  EXPECT_EQ(trace.lines().back(), "ServiceMain: Stopping [Control_Stop]\r\n");
}

TEST(ServiceMainTest, NoSessionAtTheConsoleLaunchesNothing) {
  RecordingPlatform platform;
  platform.console_ = kNoConsoleSession;
  RunServiceMain(kPlainStart, platform);
  EXPECT_EQ(platform.calls_[4], "wait");
}

TEST(ServiceMainTest, TracesEveryArgumentWithItsIndex) {
  RecordingPlatform platform;
  test_support::TraceCapture trace;
  RunServiceMain({u"VeltraneScheduler", u"endsession", u"x y"}, platform);
  EXPECT_THAT(trace.lines(), ElementsAre("Service Arg[0] = VeltraneScheduler\r\n", "Service Arg[1] = endsession\r\n",
                                         "Service Arg[2] = x y\r\n", "ServiceMain: Stopping [Control_Stop]\r\n"));
}

TEST(ServiceControlTest, StopAndShutdownReportStopPendingThenSetTheStopEventAndLaterControlsDoNothing) {
  for (std::uint32_t control : {kControlStop, kControlShutdown}) {
    RecordingPlatform platform;
    HandleServiceControl(control, 0, std::nullopt, platform);
    EXPECT_THAT(platform.calls_, ElementsAre("STOP_PENDING", "set-stop"));
    // ServiceMain may wait for logon work before it reports again.
    EXPECT_THAT(platform.wait_hints_, ElementsAre(::testing::Gt(kLogonWorkStopLimit)));
    // From here ServiceMain alone reports, and no logon starts anything.
    HandleServiceControl(kControlSessionChange, kSessionLogon, 1u, platform);
    HandleServiceControl(kControlInterrogate, 0, std::nullopt, platform);
    HandleServiceControl(control, 0, std::nullopt, platform);
    EXPECT_THAT(platform.calls_, ElementsAre("STOP_PENDING", "set-stop"));
  }
}

TEST(ServiceControlTest, InterrogateAndUnknownControlsReportRunning) {
  for (std::uint32_t control : {kControlInterrogate, 2u, 3u, 15u, 128u, 255u}) {
    RecordingPlatform platform;
    HandleServiceControl(control, kSessionLogon, 1u, platform);
    EXPECT_THAT(platform.calls_, ElementsAre("RUNNING")) << control;
  }
}

TEST(ServiceControlTest, ConsoleLogonIsQueuedAndItsWorkLaunchesAgentOrInStartupModeTheScan) {
  RecordingPlatform platform;
  HandleServiceControl(kControlSessionChange, kSessionLogon, 1u, platform);
  EXPECT_THAT(platform.calls_, ElementsAre("queue:1", "RUNNING"));

  platform.calls_.clear();
  RunLogonWork(1, platform);
  platform.startup_schedule_ = true;
  RunLogonWork(1, platform);
  EXPECT_THAT(platform.calls_, ElementsAre("agent:1", "startup-scan:1"));
}

// "SchedulerRunAs" system: a logon starts no agent, and in start-up mode asks
// ServiceMain for the scan; a resume reaches ServiceMain's wait.
TEST(ServiceControlTest, InSystemModeALogonStartsNoAgentAndAResumeIsSignalled) {
  RecordingPlatform platform;
  platform.run_as_ = schedule::RunAs::kSystem;
  RunLogonWork(1, platform);
  platform.startup_schedule_ = true;
  RunLogonWork(1, platform);
  HandleServiceControl(kControlPowerEvent, kPowerResumeAutomatic, std::nullopt, platform);
  HandleServiceControl(kControlPowerEvent, 0x7, std::nullopt, platform);  // PBT_APMRESUMESUSPEND: not automatic
  EXPECT_THAT(platform.calls_, ElementsAre("request-logon-scan", "resume", "RUNNING", "RUNNING"));
  EXPECT_EQ(kControlsAccepted & 0x40u, 0x40u) << "SERVICE_ACCEPT_POWEREVENT";
}

// Started in system mode the service keeps the schedule and starts no agent;
// a switch to user hands the schedule to the console's agent, a switch back
// takes it again, and a logon's scan runs only while the service keeps it.
TEST(ServiceMainTest, SystemModeKeepsTheScheduleAndSwitchesBothWaysWithoutRestart) {
  using schedule::RunAs;
  RecordingPlatform platform;
  platform.run_as_ = RunAs::kSystem;
  platform.startup_schedule_ = true;
  platform.wakeups_ = {{WaitOutcome::kLogonScan, RunAs::kSystem},
                       {WaitOutcome::kSettingsChanged, RunAs::kUser},
                       {WaitOutcome::kLogonScan, RunAs::kUser},
                       {WaitOutcome::kSettingsChanged, RunAs::kSystem}};
  test_support::RecordingEvents events;
  RunServiceMain(kPlainStart, platform);
  // Start-up mode arms nothing (each taking over cancels the timer) and, in
  // user mode, starts no agent at a service start either.
  EXPECT_THAT(platform.calls_,
              ElementsAre("register", "update-event", "stop-event", "RUNNING", "cancel", "wait", "logon-scan", "wait",
                          "cancel", "wait", "wait", "cancel", "wait", "STOP_PENDING", "drain", "close", "STOPPED"));
  EXPECT_EQ(std::ranges::count(events.codes(), 130), 2);

  RecordingPlatform daily;  // not start-up: the switch to user brings the console's agent
  daily.run_as_ = RunAs::kSystem;
  daily.wakeups_ = {{WaitOutcome::kSettingsChanged, RunAs::kUser}};
  RunServiceMain(kPlainStart, daily);
  EXPECT_THAT(std::vector<std::string>(daily.calls_.begin() + 4, daily.calls_.begin() + 9),
              ElementsAre("cancel", "wait", "cancel", "agent:1", "wait"));
}

// The logon work runs on a SerialWorker, as on Windows; the launch blocks
// until the test lets it go.
class BlockingLaunchPlatform : public RecordingPlatform {
 public:
  void QueueLogonWork(std::uint32_t session) override {
    worker_.Post([this, session] { RunLogonWork(session, *this); });
  }
  void LaunchAgentInSession(std::uint32_t session) override {
    std::unique_lock<std::mutex> guard(lock_);
    launches_.push_back("begin:" + std::to_string(session));
    changed_.notify_all();
    changed_.wait(guard, [this] { return released_; });
    launches_.push_back("end:" + std::to_string(session));
  }
  void Release() {
    std::lock_guard<std::mutex> guard(lock_);
    released_ = true;
    changed_.notify_all();
  }
  void WaitForBegin() {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return !launches_.empty(); });
  }

  std::mutex lock_;
  std::condition_variable changed_;
  bool released_ = false;
  std::vector<std::string> launches_;
  SerialWorker worker_;  // last: joined before the rest goes
};

TEST(ServiceControlTest, HandlerReturnsWhileTheLaunchOfALogonIsStillInProgress) {
  BlockingLaunchPlatform platform;
  HandleServiceControl(kControlSessionChange, kSessionLogon, 1u, platform);
  HandleServiceControl(kControlSessionChange, kSessionLogon, 1u, platform);
  HandleServiceControl(kControlStop, 0, std::nullopt, platform);
  // All three controls were answered while the first launch has begun and
  // cannot end until it is released.
  platform.WaitForBegin();
  EXPECT_THAT(platform.calls_, ElementsAre("RUNNING", "RUNNING", "STOP_PENDING", "set-stop"));
  EXPECT_FALSE(platform.worker_.WaitUntilIdle(std::chrono::milliseconds(20)));

  platform.Release();
  EXPECT_TRUE(platform.worker_.WaitUntilIdle(std::chrono::seconds(10)));
  // One launch at a time, in order.
  EXPECT_THAT(platform.launches_, ElementsAre("begin:1", "end:1", "begin:1", "end:1"));
}

TEST(ServiceControlTest, OtherSessionEventsRemoteLogonsAndMissingDataAreIgnored) {
  RecordingPlatform platform;
  platform.console_ = 2;
  // Connect, disconnect, remote connect/disconnect, log-off, lock, unlock,
  // remote control: everything but a logon.
  for (std::uint32_t event : {1u, 2u, 3u, 4u, 6u, 7u, 8u, 9u}) {
    HandleServiceControl(kControlSessionChange, event, 2u, platform);
  }
  HandleServiceControl(kControlSessionChange, kSessionLogon, 3u, platform);  // remote session
  HandleServiceControl(kControlSessionChange, kSessionLogon, std::nullopt, platform);
  platform.console_ = kNoConsoleSession;
  HandleServiceControl(kControlSessionChange, kSessionLogon, 2u, platform);
  EXPECT_EQ(platform.calls_, std::vector<std::string>(11, "RUNNING"));
}

}  // namespace
}  // namespace service
