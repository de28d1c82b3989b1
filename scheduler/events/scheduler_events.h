// What the scheduler writes to the Windows Event Log, and when: one function
// per occurrence, called once where it happens (never on the agent's tick).
// Each picks the event, its level and its inserts, and hands them to the
// installed sink; the Windows sink (win32/event_log.h) writes them to
// the Application log under the source "Veltrane Scheduler". Nothing is
// written while no sink is installed. A sink that fails changes nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace events {

// The event source, in the Application log. The installer package writes the
// same key and values as /install does: tools/make_msi.py reads them from here.
inline constexpr std::u16string_view kSourceName = u"Veltrane Scheduler";
inline constexpr std::u16string_view kSourceKeyPath =
    u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Veltrane Scheduler";
// TypesSupported: error, warning and information (0x1 | 0x2 | 0x4).
inline constexpr std::uint32_t kTypesSupported = 7;

// The severity of an event, as the two top bits of its identifier hold it.
enum class Level : std::uint32_t { kInformation = 1, kWarning = 2, kError = 3 };

// The codes Event Viewer shows as "Event ID". A released code never changes
// meaning; win32/scheduler_events.mc holds each with the same level, and the
// table in docs/reference.md documents them.
enum class Code : std::uint16_t {
  kServiceStarted = 100,
  kServiceStartedAfterSession = 101,
  kServiceStoppingOnControl = 102,
  kServiceStoppingForUpdate = 103,
  kServiceWaitFailed = 104,
  kUpdateEventRefused = 110,
  kServiceInstalled = 120,
  kServiceUninstalled = 121,
  kServiceInstallFailed = 122,
  kServiceUninstallFailed = 123,
  kScheduleKeptByService = 130,
  kAgentStarted = 200,
  kAgentNoUser = 201,
  kAgentNoToken = 202,
  kAgentStartFailed = 203,
  kNoScansForStandardUser = 204,
  kAgentEndedForUpdate = 210,
  kAgentFault = 220,
  kScanStartedScheduled = 300,
  kScanStartedCatchUp = 301,
  kScanStartedAtLogon = 302,
  kSystemScanStartedScheduled = 303,
  kSystemScanStartedCatchUp = 304,
  kSystemScanStartedAtLogon = 305,
  kScanSkippedApplicationRuns = 310,
  kScanSkippedNoEntry = 311,
  kScanSkippedMalformedEntry = 312,
  kScanStartFailed = 313,
  kScanSkippedApplicationImageRuns = 314,
  kScanDeferred = 320,
  kDeferredScanUserBack = 321,
  kDeferredScanLimitReached = 322,
  kNextScanDue = 330,
  kSystemNextScanDue = 331,
  kSystemCatchUpDue = 332,
};

struct CodeLevel {
  Code code;
  Level level;
  int inserts;  // how many inserts (%1 ...) its text takes
};

// Every event, its level and its number of inserts.
inline constexpr CodeLevel kCatalogue[] = {
    {Code::kServiceStarted, Level::kInformation, 0},
    {Code::kServiceStartedAfterSession, Level::kInformation, 0},
    {Code::kServiceStoppingOnControl, Level::kInformation, 0},
    {Code::kServiceStoppingForUpdate, Level::kInformation, 0},
    {Code::kServiceWaitFailed, Level::kError, 0},
    {Code::kUpdateEventRefused, Level::kWarning, 1},
    {Code::kServiceInstalled, Level::kInformation, 1},
    {Code::kServiceUninstalled, Level::kInformation, 0},
    {Code::kServiceInstallFailed, Level::kError, 0},
    {Code::kServiceUninstallFailed, Level::kError, 0},
    {Code::kScheduleKeptByService, Level::kInformation, 1},
    {Code::kAgentStarted, Level::kInformation, 3},
    {Code::kAgentNoUser, Level::kInformation, 1},
    {Code::kAgentNoToken, Level::kError, 2},
    {Code::kAgentStartFailed, Level::kError, 3},
    {Code::kNoScansForStandardUser, Level::kWarning, 1},
    {Code::kAgentEndedForUpdate, Level::kInformation, 0},
    {Code::kAgentFault, Level::kError, 3},
    {Code::kScanStartedScheduled, Level::kInformation, 2},
    {Code::kScanStartedCatchUp, Level::kInformation, 2},
    {Code::kScanStartedAtLogon, Level::kInformation, 2},
    {Code::kSystemScanStartedScheduled, Level::kInformation, 3},
    {Code::kSystemScanStartedCatchUp, Level::kInformation, 3},
    {Code::kSystemScanStartedAtLogon, Level::kInformation, 3},
    {Code::kScanSkippedApplicationRuns, Level::kInformation, 0},
    {Code::kScanSkippedNoEntry, Level::kError, 1},
    {Code::kScanSkippedMalformedEntry, Level::kError, 2},
    {Code::kScanStartFailed, Level::kError, 2},
    {Code::kScanSkippedApplicationImageRuns, Level::kInformation, 1},
    {Code::kScanDeferred, Level::kInformation, 1},
    {Code::kDeferredScanUserBack, Level::kInformation, 1},
    {Code::kDeferredScanLimitReached, Level::kInformation, 1},
    {Code::kNextScanDue, Level::kInformation, 1},
    {Code::kSystemNextScanDue, Level::kInformation, 2},
    {Code::kSystemCatchUpDue, Level::kInformation, 2},
};

// The level the catalogue gives `code`.
Level LevelOf(Code code);

// The 32-bit identifier the message table compiles for `code`: the level in
// bits 31-30, facility 0, the code in the low 16 bits.
std::uint32_t Identifier(Code code);

struct Event {
  Code code;
  Level level;
  std::vector<std::u16string> inserts;
};

class EventSink {
 public:
  virtual ~EventSink() = default;
  // Writes the event, or drops it; never fails outward.
  virtual void Report(const Event& event) = 0;
};

// Installs the process's sink (null: none). The sink must outlive its use.
void SetSink(EventSink* sink);

// The service.
void ServiceStarted(bool end_session);
enum class StopReason { kControl, kUpdateEvent, kWaitFailed };
void ServiceStopping(StopReason reason);
// An update event made first by an untrusted `owner` (a SID as text).
void UpdateEventRefused(std::u16string_view owner);
void ServiceInstalled(bool installed, std::u16string_view program);
void ServiceUninstalled(bool uninstalled);

// An agent start for a session.
struct AgentStart {
  enum class Result { kStarted, kNoUserToken, kNoProcess };
  Result result = Result::kStarted;
  std::uint32_t error = 0;       // the Windows error of a failure
  std::u16string user;           // the session's user, "DOMAIN\name", when known
  std::uint32_t process_id = 0;  // of the agent started
};
void AgentStartEnded(std::uint32_t session, const AgentStart& start);
// The agent left its loop on the update event and leaves the service stopped.
void AgentEndedForUpdate();
// The agent ended by an unhandled fault: its exception code, the address of
// the fault, and whether the service is started again for a new agent.
void AgentFault(std::uint32_t exception_code, std::uint64_t address, bool service_started);

// A scan launch attempt.
enum class ScanOccasion { kScheduled, kCatchUp, kAtLogon };
void ScanStarted(ScanOccasion occasion, bool quick, std::u16string_view command_line);
void ScanSkippedApplicationRuns();
// The uninstall entry `key` lacks its value, or holds `value`, which names no path.
void ScanSkippedNoEntry(std::u16string_view key);
void ScanSkippedMalformedEntry(std::u16string_view key, std::u16string_view value);
void ScanStartFailed(std::u16string_view command_line, std::uint32_t error);
// A due scan waits for a busy user, at most `limit_minutes`; then starts,
// because the user is no longer busy after `waited_seconds`, or because the
// limit has passed.
void ScanDeferred(std::uint32_t limit_minutes);
void DeferredScanStarts(bool limit_reached, std::uint32_t waited_seconds, std::uint32_t limit_minutes);
// The timer stands at the next run, local time as "YYYY-MM-DD hh:mm:ss".
void NextScanDue(std::u16string_view local_time);

// "SchedulerRunAs" system: the service keeps the schedule itself and starts
// the scans under `account`; its timer stands at the next run, or at a
// missed run's catch-up.
void ScheduleKeptByService(std::u16string_view account);
void SystemNextScanDue(std::u16string_view local_time, bool catch_up, std::u16string_view account);
// A scan the service started under `account`.
void SystemScanStarted(ScanOccasion occasion, bool quick, std::u16string_view command_line,
                       std::u16string_view account);
// A due scan was not started: a process whose image is the scanner's
// executable `path` runs, in some session.
void ScanSkippedApplicationImageRuns(std::u16string_view path);
// "SchedulerRunAs" user: `user`, who logged on at the console, is no
// administrator, so no agent keeps the schedule in that session.
void NoScansForStandardUser(std::u16string_view user);

}  // namespace events
