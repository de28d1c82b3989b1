#include "scheduler/agent/agent_loop.h"

#include "common/trace/trace.h"

namespace agent {

WaitList MakeWaitList(bool has_update_event, bool has_timer) {
  WaitList list;
  if (has_update_event) list.slots[list.count++] = WaitSlot::kUpdateEvent;
  if (has_timer) list.slots[list.count++] = WaitSlot::kScheduleTimer;
  return list;
}

bool ScanDeferral::OnDue(std::chrono::milliseconds limit, BusyState state, std::chrono::milliseconds now) {
  if (state != BusyState::kBusy) return true;
  deadline_ = now + limit;
  return false;
}

bool ScanDeferral::OnRecheck(BusyState state, std::chrono::milliseconds now) {
  if (!deadline_) return false;
  if (state == BusyState::kBusy && now < *deadline_) return false;
  deadline_.reset();
  return true;
}

namespace {

// The scan, then the timer for the next period, which the launch's new
// lastScanTime moves past this one.
void StartDueScan(AgentLoopHost& host) {
  host.LaunchScheduledScan();
  host.ArmScheduleTimer();
}

}  // namespace

LoopEnd RunAgentLoop(AgentLoopHost& host) {
  const bool has_update_event = host.OpenUpdateEvent();
  host.LoadLastScanTime();
  const bool has_timer = host.CreateScheduleTimer();
  if (has_timer) host.ArmScheduleTimer();
  const WaitList list = MakeWaitList(has_update_event, has_timer);

  LoopEnd end = LoopEnd::kQuit;
  ScanDeferral deferral;
  for (;;) {
    if (!host.DispatchQueuedMessages()) break;
    // A waiting scan is looked at again after every wake-up: at the latest
    // on the window's one-second tick.
    if (deferral.waiting() && deferral.OnRecheck(host.TestBusy(), host.Now())) StartDueScan(host);
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
    const std::chrono::milliseconds limit = host.DeferBusyLimit();
    if (limit.count() == 0 || deferral.OnDue(limit, host.TestBusy(), host.Now())) {
      StartDueScan(host);
    } else {
      trace::Trace("Scan waits for the user\r\n");
    }
  }

  host.CloseHandles();
  // The session is free before the service is asked back, so that the
  // service, probing at its start, finds no agent there and starts the next.
  host.ReleaseSession();
  if (end == LoopEnd::kQuit) host.StartService();
  return end;
}

}  // namespace agent
