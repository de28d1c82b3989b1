// The agent's life after start-up: one loop that serves window messages and
// waits on the global update event and the schedule timer. The Windows layer
// (win32/agent_loop.cc) supplies the platform through AgentLoopHost.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "scheduler/agent/busy_state.h"
#include "scheduler/events/scheduler_events.h"
#include "scheduler/schedule/schedule.h"

namespace agent {

// The kernel objects the loop can wait on, besides messages.
enum class WaitSlot { kUpdateEvent, kScheduleTimer, kSettingsChange };

// The objects to wait on, in this order. Only objects that exist are listed:
// a missing one would make every wait fail, and the loop would never see the
// timer that stands for the next scan.
struct WaitList {
  std::array<WaitSlot, 3> slots{};
  std::size_t count = 0;
};
WaitList MakeWaitList(bool has_update_event, bool has_timer, bool has_settings_watch = false);

// How a wait ended: one of the listed objects, input (or a completed
// asynchronous call) to look at, or a failure of the wait itself.
struct WakeUp {
  enum class Kind { kObject, kInput, kFailed };
  Kind kind = Kind::kInput;
  std::size_t index = 0;  // position in the WaitList, for kObject
};

// A due scan that waits while the user is busy with a full-screen program
// (a game, a presentation, a video), up to a limit. The screen saver in front
// means the user is away: that never makes a scan wait.
class ScanDeferral {
 public:
  // The scan fell due at `now` with waits of up to `limit` allowed. True
  // when it starts now; false when it waits.
  bool OnDue(std::chrono::milliseconds limit, BusyState state, std::chrono::milliseconds now);
  // A waiting scan looked at again: true when it starts now, because the
  // user is no longer busy or the limit has passed. It then waits no more.
  bool OnRecheck(BusyState state, std::chrono::milliseconds now);
  bool waiting() const { return deadline_.has_value(); }
  // The wait's start and its limit, while it waits.
  std::chrono::milliseconds since() const { return since_; }
  std::chrono::milliseconds limit() const { return limit_; }

 private:
  std::optional<std::chrono::milliseconds> deadline_;
  std::chrono::milliseconds since_{0};
  std::chrono::milliseconds limit_{0};
};

class AgentLoopHost {
 public:
  virtual ~AgentLoopHost() = default;
  // Creates or opens the update event; false when it could not.
  virtual bool OpenUpdateEvent() = 0;
  // Takes the time of the last scan from the settings.
  virtual void LoadLastScanTime() = 0;
  // Creates the schedule timer; false when it could not.
  virtual bool CreateScheduleTimer() = 0;
  // Arms the timer for the next run; the run, or nothing when none was armed.
  virtual std::optional<schedule::ArmedRun> ArmScheduleTimer() = 0;
  // Watches the settings key and the policy key; false when it cannot. Called
  // again after each change, since a change signals once.
  virtual bool WatchSettings() = 0;
  // The settings the armed run stands on, "SchedulerRunAs" among them.
  virtual schedule::ScheduleSettings ReadScheduleSettings() = 0;
  // Dispatches every queued message; false once WM_QUIT was taken.
  virtual bool DispatchQueuedMessages() = 0;
  virtual WakeUp Wait(const WaitList& list) = 0;
  virtual void LaunchScheduledScan(events::ScanOccasion occasion) = 0;
  // How long a due scan may wait for a busy user ("SchedulerDeferBusyMinutes");
  // zero: it never waits.
  virtual std::chrono::milliseconds DeferBusyLimit() = 0;
  virtual BusyState TestBusy() = 0;
  // A monotonic clock.
  virtual std::chrono::milliseconds Now() = 0;
  // Called after a failed wait, so that a wait that keeps failing does not
  // take the processor.
  virtual void PauseAfterFailedWait() = 0;
  virtual void CloseHandles() = 0;
  // Gives up the session mutex: from here on this agent serves nobody.
  virtual void ReleaseSession() = 0;
  // Starts the service without argument.
  virtual void StartService() = 0;
};

enum class LoopEnd {
  kUpdateEvent,  // the service is left stopped
  kQuit,         // the window is gone; the service was started again
  kSystemRunAs,  // "SchedulerRunAs" is "system": the service, started
                 // again, keeps the schedule from now on
};

LoopEnd RunAgentLoop(AgentLoopHost& host);

}  // namespace agent
