// Starting the application's scan when a scheduled scan is due: find the
// application through its uninstall entry, leave it alone when it runs, and
// choose between a quick and a full boot scan.
//
// The decisions live here; the platform (win32/scan_launcher.h) only
// tests the presence event and creates the process.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/application/presence.h"
#include "common/application/settings_source.h"
#include "scheduler/events/scheduler_events.h"
#include "scheduler/schedule/datetime/date_time.h"

namespace schedule {

// The application's executable: the path at the start of the
// "UninstallString" of HKLM\...\Uninstall\Veltrane37 (read into 1024 bytes),
// without its quotes. nullopt when the entry or value is missing, too long,
// does not begin with a double quote, or names an empty path.
std::optional<std::u16string> FindApplicationPath(const application::SettingsSource& settings);

// Whether the due scan is a quick one at `now`: yes, unless
// "SchedulerScanType" holds anything but "quick" (any case), or
// "LastDefaultScan" is a timestamp earlier than `now` minus 30 days, so that
// the last full scan is too old. Missing or unreadable settings ask for a
// quick scan; a "LastDefaultScan" that is no valid timestamp forces nothing.
bool IsQuickScanDue(const application::SettingsSource& settings, datetime::DateTime now);

// "\"<path>\" /scan:boot /quiet", followed by " /quick" for a quick scan.
std::u16string ScheduledScanCommandLine(std::u16string_view path, bool quick);

// What the launch needs from the platform.
class ScanProcessPlatform {
 public:
  virtual ~ScanProcessPlatform() = default;
  // How an open of the application's presence event ends.
  virtual application::PresenceOpen OpenPresenceEvent() = 0;
  // Creates the application's process with `command_line`; true when it was
  // created, else false with the Windows error in `error`. The process is
  // never waited for.
  virtual bool StartScan(const std::u16string& command_line, std::uint32_t& error) = 0;
  // True when a process whose image is the executable `path` (compared as a
  // path, without regard to case) runs in any session. The service asks
  // this, since a scanner a user started lives in that user's session, where
  // its event is out of the service's sight; an agent sees its own session's
  // event and needs no more.
  virtual bool ApplicationImageRuns(std::u16string_view /*path*/) { return false; }
  // The account a scan is started under, "DOMAIN\name", named in the service's
  // events; empty for an agent, which starts it as its session's user.
  virtual std::u16string Account() { return {}; }
};

// Sets lastScanTime to now, whatever follows; then, unless the application
// runs already (true, nothing started; application::ApplicationRuns says
// when, and ScanProcessPlatform::ApplicationImageRuns), finds it (false when it cannot be found) and starts its scan.
// True when the application runs or was started. Each outcome is reported once as an event of `occasion`.
bool LaunchScheduledScan(const application::SettingsSource& settings, ScanProcessPlatform& platform,
                         events::ScanOccasion occasion = events::ScanOccasion::kScheduled);

}  // namespace schedule
