// AgentLoop: the portable loop over the agent's window messages, the update
// event and the schedule timer.
#include <windows.h>

#include <algorithm>

#include "common/application/contract.h"
#include "common/application/win32/registry_settings_source.h"
#include "common/trace/trace.h"
#include "common/win32/scoped_handle.h"
#include "scheduler/agent/agent_loop.h"
#include "scheduler/agent/schedule.h"
#include "scheduler/agent/win32/busy_state.h"
#include "scheduler/agent/win32/event_window.h"
#include "scheduler/agent/win32/scan_launcher.h"
#include "scheduler/agent/win32/waitable_timer.h"
#include "scheduler/shared/win32/service_control.h"
#include "scheduler/shared/win32/update_event.h"

namespace agent {
namespace {

constexpr DWORD kPauseAfterFailedWaitMs = 100;

class Win32AgentLoopHost final : public AgentLoopHost {
 public:
  bool OpenUpdateEvent() override {
    update_event_.Set(shared::CreateUpdateEvent());
    if (!update_event_) trace::Trace("CreateUpdateEvent failed: %u\r\n", static_cast<unsigned>(GetLastError()));
    return update_event_.IsValid();
  }

  void LoadLastScanTime() override { lastScanTime = ReadLastScanTime(); }

  bool CreateScheduleTimer() override {
    timer_.Set(CreateWaitableTimerW(nullptr, FALSE, nullptr));
    return timer_.IsValid();
  }

  std::optional<ArmedRun> ArmScheduleTimer() override {
    std::optional<ArmedRun> armed;
    agent::ArmScheduleTimer(timer_.Get(), &armed);
    return armed;
  }

  bool DispatchQueuedMessages() override {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return false;
      if (!IsDialogMessageW(EventWindowHandle(), &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
    return true;
  }

  WakeUp Wait(const WaitList& list) override {
    HANDLE handles[2] = {};
    for (std::size_t i = 0; i < list.count; ++i) {
      handles[i] = list.slots[i] == WaitSlot::kUpdateEvent ? update_event_.Get() : timer_.Get();
    }
    const DWORD count = static_cast<DWORD>(list.count);
    const DWORD result = MsgWaitForMultipleObjectsEx(count, count ? handles : nullptr, INFINITE, QS_ALLINPUT,
                                                     MWMO_ALERTABLE | MWMO_INPUTAVAILABLE);
    if (result == WAIT_FAILED) return {WakeUp::Kind::kFailed, 0};
    if (result < WAIT_OBJECT_0 + count) return {WakeUp::Kind::kObject, result - WAIT_OBJECT_0};
    return {WakeUp::Kind::kInput, 0};
  }

  void LaunchScheduledScan(events::ScanOccasion occasion) override { agent::LaunchScheduledScan(occasion); }

  std::chrono::milliseconds DeferBusyLimit() override {
    const std::uint32_t minutes =
        application::SchedulerSettings()
            .ReadNumber(application::RegistryRoot::LocalMachine, application::kSettingsKeyPath,
                        application::kSchedulerDeferBusyMinutesValue)
            .value_or(0);
    return std::chrono::minutes(std::min(minutes, kLongestWaitMinutes));
  }

  BusyState TestBusy() override { return static_cast<BusyState>(QueryBusyState()); }

  std::chrono::milliseconds Now() override { return std::chrono::milliseconds(GetTickCount64()); }

  void PauseAfterFailedWait() override {
    trace::Trace("WAIT_FAILED %p %p\r\n", static_cast<void*>(update_event_.Get()), static_cast<void*>(timer_.Get()));
    Sleep(kPauseAfterFailedWaitMs);
  }

  void CloseHandles() override {
    update_event_.Close();
    timer_.Close();
  }

  void ReleaseSession() override { CloseSessionMutex(); }

  void StartService() override { shared::StartSchedulerService(false); }

 private:
  win32::ScopedHandle update_event_;
  win32::ScopedHandle timer_;
};

}  // namespace

void AgentLoop() {
  Win32AgentLoopHost host;
  RunAgentLoop(host);
}

}  // namespace agent
