#include "scheduler/agent/agent_loop.h"

#include "common/trace/trace.h"
#include "scheduler/schedule/schedule_keeper.h"

namespace agent {

WaitList MakeWaitList(bool has_update_event, bool has_timer, bool has_settings_watch) {
  WaitList list;
  if (has_update_event) list.slots[list.count++] = WaitSlot::kUpdateEvent;
  if (has_timer) list.slots[list.count++] = WaitSlot::kScheduleTimer;
  if (has_settings_watch) list.slots[list.count++] = WaitSlot::kSettingsChange;
  return list;
}

bool ScanDeferral::OnDue(std::chrono::milliseconds limit, BusyState state, std::chrono::milliseconds now) {
  if (state != BusyState::kBusy) return true;
  deadline_ = now + limit;
  since_ = now;
  limit_ = limit;
  return false;
}

bool ScanDeferral::OnRecheck(BusyState state, std::chrono::milliseconds now) {
  if (!deadline_) return false;
  if (state == BusyState::kBusy && now < *deadline_) return false;
  deadline_.reset();
  return true;
}

namespace {

unsigned WholeMinutes(std::chrono::milliseconds span) {
  return static_cast<unsigned>(std::chrono::duration_cast<std::chrono::minutes>(span).count());
}

// The scan the armed run stands for, then the timer for the next period,
// which the launch's new lastScanTime moves past this one.
void StartDueScan(AgentLoopHost& host, std::optional<schedule::ArmedRun>& armed) {
  host.LaunchScheduledScan(armed && armed->catch_up ? events::ScanOccasion::kCatchUp
                                                    : events::ScanOccasion::kScheduled);
  armed = host.ArmScheduleTimer();
  if (armed) events::NextScanDue(schedule::LocalTimeText(armed->due));
}

}  // namespace

LoopEnd RunAgentLoop(AgentLoopHost& host) {
  const bool has_update_event = host.OpenUpdateEvent();
  host.LoadLastScanTime();
  const bool has_timer = host.CreateScheduleTimer();
  // A change of the settings re-arms the timer at once; one that leaves
  // them as they were (the scanner writing "LastScan") changes nothing.
  schedule::ScheduleSettings armed_for = host.ReadScheduleSettings();
  std::optional<schedule::ArmedRun> armed;
  if (has_timer && armed_for.run_as == schedule::RunAs::kUser) armed = host.ArmScheduleTimer();
  const WaitList list = MakeWaitList(has_update_event, has_timer, host.WatchSettings());

  LoopEnd end = LoopEnd::kQuit;
  ScanDeferral deferral;
  for (;;) {
    if (armed_for.run_as == schedule::RunAs::kSystem) {
      end = LoopEnd::kSystemRunAs;
      break;
    }
    if (!host.DispatchQueuedMessages()) break;
    // A waiting scan is looked at again after every wake-up: at the latest
    // on the window's one-second tick.
    if (deferral.waiting()) {
      const std::chrono::milliseconds since = deferral.since();
      const std::chrono::milliseconds limit = deferral.limit();
      const BusyState state = host.TestBusy();
      const std::chrono::milliseconds now = host.Now();
      if (deferral.OnRecheck(state, now)) {
        const auto waited = std::chrono::duration_cast<std::chrono::seconds>(now - since);
        events::DeferredScanStarts(state == BusyState::kBusy, static_cast<std::uint32_t>(waited.count()),
                                   WholeMinutes(limit));
        StartDueScan(host, armed);
      }
    }
    const WakeUp wake = host.Wait(list);
    if (wake.kind == WakeUp::Kind::kFailed) {
      host.PauseAfterFailedWait();
      continue;
    }
    if (wake.kind != WakeUp::Kind::kObject || wake.index >= list.count) continue;
    if (list.slots[wake.index] == WaitSlot::kUpdateEvent) {
      end = LoopEnd::kUpdateEvent;
      break;
    }
    if (list.slots[wake.index] == WaitSlot::kSettingsChange) {
      host.WatchSettings();
      const schedule::ScheduleSettings now = host.ReadScheduleSettings();
      if (now != armed_for) {
        armed_for = now;
        if (has_timer && now.run_as == schedule::RunAs::kUser) {
          armed = host.ArmScheduleTimer();
          if (armed) events::NextScanDue(schedule::LocalTimeText(armed->due));
        }
      }
      continue;
    }
    const std::chrono::milliseconds limit = host.DeferBusyLimit();
    if (limit.count() == 0 || deferral.OnDue(limit, host.TestBusy(), host.Now())) {
      StartDueScan(host, armed);
    } else {
      trace::Trace("Scan waits for the user\r\n");
      events::ScanDeferred(WholeMinutes(limit));
    }
  }

  host.CloseHandles();
  // The session is free before the service is asked back, so that the
  // service, probing at its start, finds no agent there and starts the next.
  host.ReleaseSession();
  if (end != LoopEnd::kUpdateEvent) {
    host.StartService();
  } else {
    events::AgentEndedForUpdate();
  }
  return end;
}

}  // namespace agent
