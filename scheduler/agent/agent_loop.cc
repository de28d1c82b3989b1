#include "scheduler/agent/agent_loop.h"

namespace agent {

WaitList MakeWaitList(bool has_update_event, bool has_timer) {
  WaitList list;
  if (has_update_event) list.slots[list.count++] = WaitSlot::kUpdateEvent;
  if (has_timer) list.slots[list.count++] = WaitSlot::kScheduleTimer;
  return list;
}

LoopEnd RunAgentLoop(AgentLoopHost& host) {
  const bool has_update_event = host.OpenUpdateEvent();
  host.LoadLastScanTime();
  const bool has_timer = host.CreateScheduleTimer();
  if (has_timer) host.ArmScheduleTimer();
  const WaitList list = MakeWaitList(has_update_event, has_timer);

  LoopEnd end = LoopEnd::kQuit;
  for (;;) {
    if (!host.DispatchQueuedMessages()) break;
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
    host.LaunchScheduledScan();
    host.ArmScheduleTimer();
  }

  host.CloseHandles();
  // The session is free before the service is asked back, so that the
  // service, probing at its start, finds no agent there and starts the next.
  host.ReleaseSession();
  if (end == LoopEnd::kQuit) host.StartService();
  return end;
}

}  // namespace agent
