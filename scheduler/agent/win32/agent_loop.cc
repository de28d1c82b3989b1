// AgentLoop: the portable loop over the agent's window messages, the update
// event and the schedule timer.
#include <windows.h>

#include <algorithm>

#include "common/application/contract.h"
#include "common/application/win32/registry_settings_source.h"
#include "common/trace/trace.h"
#include "common/win32/scoped_handle.h"
#include "scheduler/agent/agent_loop.h"
#include "scheduler/agent/win32/busy_state.h"
#include "scheduler/agent/win32/event_window.h"
#include "scheduler/schedule/schedule.h"
#include "scheduler/schedule/win32/scan_launcher.h"
#include "scheduler/schedule/win32/waitable_timer.h"
#include "scheduler/shared/win32/service_control.h"
#include "scheduler/shared/win32/settings_watch.h"
#include "scheduler/shared/win32/update_event.h"

namespace agent {
namespace {

constexpr DWORD kPauseAfterFailedWaitMs = 100;

class Win32AgentLoopHost final : public AgentLoopHost {
 public:
  bool OpenUpdateEvent() override {
    update_event_ = shared::CreateUpdateEvent();
    if (!update_event_) trace::Trace("CreateUpdateEvent failed: %u\r\n", static_cast<unsigned>(GetLastError()));
    return static_cast<bool>(update_event_);
  }

  void LoadLastScanTime() override { schedule::lastScanTime = schedule::ReadLastScanTime(); }

  bool CreateScheduleTimer() override {
    timer_.reset(CreateWaitableTimerW(nullptr, FALSE, nullptr));
    return static_cast<bool>(timer_);
  }

  std::optional<schedule::ArmedRun> ArmScheduleTimer() override {
    std::optional<schedule::ArmedRun> armed;
    schedule::ArmScheduleTimer(timer_.get(), &armed);
    return armed;
  }

  // Each key has its own event; both stand for the one settings slot.
  bool WatchSettings() override {
    for (int i = 0; i < 2; ++i) {
      if (!created_) {
        watching_[i] = watches_[i].Create();
      } else if (fired_[i]) {
        watching_[i] = watches_[i].Register();
      }
      fired_[i] = false;
    }
    created_ = true;
    return watching_[0] || watching_[1];
  }

  schedule::ScheduleSettings ReadScheduleSettings() override {
    return schedule::ReadScheduleSettings(application::SchedulerSettings());
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
    // The settings slot stands for the events of both watched keys.
    HANDLE handles[4] = {};
    std::size_t slot_of[4] = {};
    int watch_of[4] = {-1, -1, -1, -1};
    DWORD count = 0;
    for (std::size_t i = 0; i < list.count; ++i) {
      switch (list.slots[i]) {
        case WaitSlot::kUpdateEvent:
          handles[count] = update_event_.get();
          slot_of[count++] = i;
          break;
        case WaitSlot::kScheduleTimer:
          handles[count] = timer_.get();
          slot_of[count++] = i;
          break;
        case WaitSlot::kSettingsChange:
          for (int w = 0; w < 2; ++w) {
            if (!watching_[w]) continue;
            handles[count] = watches_[w].event();
            watch_of[count] = w;
            slot_of[count++] = i;
          }
          break;
      }
    }
    const DWORD result = MsgWaitForMultipleObjectsEx(count, count ? handles : nullptr, INFINITE, QS_ALLINPUT,
                                                     MWMO_ALERTABLE | MWMO_INPUTAVAILABLE);
    if (result == WAIT_FAILED) return {WakeUp::Kind::kFailed, 0};
    if (result < WAIT_OBJECT_0 + count) {
      const DWORD index = result - WAIT_OBJECT_0;
      if (watch_of[index] >= 0) fired_[watch_of[index]] = true;
      return {WakeUp::Kind::kObject, slot_of[index]};
    }
    return {WakeUp::Kind::kInput, 0};
  }

  void LaunchScheduledScan(events::ScanOccasion occasion) override { schedule::LaunchScheduledScan(occasion); }

  std::chrono::milliseconds DeferBusyLimit() override {
    const std::uint32_t minutes =
        application::SchedulerSettings()
            .ReadNumber(application::RegistryRoot::LocalMachine, application::kSettingsKeyPath,
                        application::kSchedulerDeferBusyMinutesValue)
            .value_or(0);
    return std::chrono::minutes(std::min(minutes, schedule::kLongestWaitMinutes));
  }

  BusyState TestBusy() override { return QueryBusyState(); }

  std::chrono::milliseconds Now() override { return std::chrono::milliseconds(GetTickCount64()); }

  void PauseAfterFailedWait() override {
    trace::Trace("WAIT_FAILED %p %p\r\n", static_cast<void*>(update_event_.get()), static_cast<void*>(timer_.get()));
    Sleep(kPauseAfterFailedWaitMs);
  }

  void CloseHandles() override {
    update_event_.reset();
    timer_.reset();
    for (shared::KeyWatch& watch : watches_) watch.Close();
  }

  void ReleaseSession() override { CloseSessionMutex(); }

  void StartService() override { shared::StartSchedulerService(false); }

 private:
  win32::ScopedHandle update_event_;
  win32::ScopedHandle timer_;
  shared::KeyWatch watches_[2] = {shared::SettingsKeyWatch(), shared::PolicyKeyWatch()};
  bool created_ = false;
  bool watching_[2] = {false, false};
  bool fired_[2] = {false, false};
};

}  // namespace

void AgentLoop() {
  Win32AgentLoopHost host;
  RunAgentLoop(host);
}

}  // namespace agent
