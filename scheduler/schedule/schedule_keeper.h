// The schedule kept by the service itself ("SchedulerRunAs" system): the
// same settings, due times, random delay and catch-up as an agent's, on the
// service's own timer, for as long as the machine runs. The Windows layer
// supplies the timer, the settings and the scan's start through
// KeeperPlatform; every decision is made here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/application/settings_source.h"
#include "scheduler/events/scheduler_events.h"
#include "scheduler/schedule/schedule.h"

namespace schedule {

class KeeperPlatform {
 public:
  virtual ~KeeperPlatform() = default;
  virtual const application::SettingsSource& Settings() = 0;
  virtual WaitableTimer& Timer() = 0;
  // Stops the timer: it signals no more until it is armed again.
  virtual void CancelTimer() = 0;
  // The random delay of a scheduled run; null: none.
  virtual RandomSource* Random() = 0;
  // Starts the due scan unless the scanner runs (LaunchScheduledScan).
  virtual void LaunchScan(events::ScanOccasion occasion) = 0;
  // The account the scans start under, "DOMAIN\name", for the events.
  virtual std::u16string Account() = 0;
  // Whether the person at the console is busy with a borderless full-screen
  // program, as tested on that person's desktop; false with nobody there.
  virtual bool ConsoleUserBusy() = 0;
};

// While a due scan waits for a busy user, the console is looked at again
// this often (each look starts a process on the user's desktop).
inline constexpr double kBusyRecheckSeconds = 30.0;

// A timer signal this long before the armed due time is a stale one, left
// from an arming that a later one replaced: it starts nothing.
inline constexpr double kEarlySignalSeconds = 2.0;

class ScheduleKeeper {
 public:
  explicit ScheduleKeeper(KeeperPlatform& platform) : platform_(platform) {}

  // Takes the schedule over (service start, or a switch to "system"): the
  // last scan comes from "LastScan", so that a run missed meanwhile is
  // caught up once, as at an agent's start; then the timer is armed.
  void Start();
  // Gives the schedule up (a switch to "user"): the timer is stopped.
  void Stop();
  bool keeping() const { return keeping_; }

  // The timer signalled: the due scan starts, and the timer is armed for the
  // next period. A signal before the armed run is due starts nothing. With
  // "SchedulerDeferBusyMinutes", a due scan waits while the person at the
  // console is busy, at most that long, looked at again on the timer.
  void OnTimer();
  // The machine resumed from sleep or hibernation (a Fast Startup boot
  // included): a run missed while it slept is caught up once. The later of
  // the own last-scan time and "LastScan" counts.
  void OnResume();
  // A key the settings live in changed: the timer is armed again when a
  // setting the armed run stands on changed, and left as it is otherwise
  // (the scanner writing "LastScan" after its scan, for one).
  void OnSettingsChanged();

  const std::optional<ArmedRun>& armed() const { return armed_; }

 private:
  void Arm();
  void ArmRecheck();
  void StartDueScan();

  KeeperPlatform& platform_;
  // While a due scan waits for a busy user: since when, and how long at most.
  std::optional<datetime::DateTime> deferred_since_;
  std::uint32_t defer_minutes_ = 0;
  bool keeping_ = false;
  std::optional<ArmedRun> armed_;
  std::optional<ScheduleSettings> armed_for_;
};

// "YYYY-MM-DD hh:mm:ss", the form the scan history is stored in.
std::u16string LocalTimeText(const datetime::DateTime& time);

}  // namespace schedule
