#include "scheduler/events/scheduler_events.h"

#include <atomic>

#include "common/text/decimal.h"

namespace events {
namespace {

std::atomic<EventSink*> g_sink{nullptr};

// ERROR_NO_TOKEN: the session has no logged-on user.
constexpr std::uint32_t kErrorNoToken = 1008;
// ReportEvent takes inserts of at most 31,839 characters.
constexpr std::size_t kLongestInsert = 31839;

// "0x" and `width` upper-case hexadecimal digits, as Windows writes codes and addresses.
std::u16string Hexadecimal(std::uint64_t value, int width) { return u"0x" + text::Hexadecimal(value, width); }

void Report(Code code, std::vector<std::u16string> inserts = {}) {
  EventSink* const sink = g_sink.load();
  if (sink == nullptr) return;
  for (std::u16string& insert : inserts) {
    if (insert.size() > kLongestInsert) insert.resize(kLongestInsert);
  }
  sink->Report(Event{code, LevelOf(code), std::move(inserts)});
}

}  // namespace

Level LevelOf(Code code) {
  for (const CodeLevel& entry : kCatalogue) {
    if (entry.code == code) return entry.level;
  }
  return Level::kError;
}

std::uint32_t Identifier(Code code) {
  return (static_cast<std::uint32_t>(LevelOf(code)) << 30) | static_cast<std::uint32_t>(code);
}

void SetSink(EventSink* sink) { g_sink.store(sink); }

void ServiceStarted(bool end_session) {
  Report(end_session ? Code::kServiceStartedAfterSession : Code::kServiceStarted);
}

void ServiceStopping(StopReason reason) {
  switch (reason) {
    case StopReason::kControl:
      return Report(Code::kServiceStoppingOnControl);
    case StopReason::kUpdateEvent:
      return Report(Code::kServiceStoppingForUpdate);
    case StopReason::kWaitFailed:
      return Report(Code::kServiceWaitFailed);
  }
}

void UpdateEventRefused(std::u16string_view owner) { Report(Code::kUpdateEventRefused, {std::u16string(owner)}); }

void ServiceInstalled(bool installed, std::u16string_view program) {
  if (installed) {
    Report(Code::kServiceInstalled, {std::u16string(program)});
  } else {
    Report(Code::kServiceInstallFailed);
  }
}

void ServiceUninstalled(bool uninstalled) {
  Report(uninstalled ? Code::kServiceUninstalled : Code::kServiceUninstallFailed);
}

void AgentStartEnded(std::uint32_t session, const AgentStart& start) {
  const std::u16string user = start.user.empty() ? u"?" : start.user;
  switch (start.result) {
    case AgentStart::Result::kStarted:
      return Report(Code::kAgentStarted, {text::Decimal(session), user, text::Decimal(start.process_id)});
    case AgentStart::Result::kNoUserToken:
      // Nobody at the console (a system start before the first logon) is the
      // ordinary case; any other refusal of the token is a fault.
      if (start.error == kErrorNoToken) return Report(Code::kAgentNoUser, {text::Decimal(session)});
      return Report(Code::kAgentNoToken, {text::Decimal(session), text::Decimal(start.error)});
    case AgentStart::Result::kNoProcess:
      return Report(Code::kAgentStartFailed, {text::Decimal(session), user, text::Decimal(start.error)});
  }
}

void AgentEndedForUpdate() { Report(Code::kAgentEndedForUpdate); }

void AgentFault(std::uint32_t exception_code, std::uint64_t address, bool service_started) {
  Report(Code::kAgentFault,
         {Hexadecimal(exception_code, 8), Hexadecimal(address, 16), service_started ? u"yes" : u"no"});
}

void ScanStarted(ScanOccasion occasion, bool quick, std::u16string_view command_line) {
  const Code code = occasion == ScanOccasion::kCatchUp   ? Code::kScanStartedCatchUp
                    : occasion == ScanOccasion::kAtLogon ? Code::kScanStartedAtLogon
                                                         : Code::kScanStartedScheduled;
  Report(code, {quick ? u"quick" : u"full", std::u16string(command_line)});
}

void ScanSkippedApplicationRuns() { Report(Code::kScanSkippedApplicationRuns); }

void ScanSkippedNoEntry(std::u16string_view key) { Report(Code::kScanSkippedNoEntry, {std::u16string(key)}); }

void ScanSkippedMalformedEntry(std::u16string_view key, std::u16string_view value) {
  Report(Code::kScanSkippedMalformedEntry, {std::u16string(key), std::u16string(value)});
}

void ScanStartFailed(std::u16string_view command_line, std::uint32_t error) {
  Report(Code::kScanStartFailed, {std::u16string(command_line), text::Decimal(error)});
}

void ScanDeferred(std::uint32_t limit_minutes) { Report(Code::kScanDeferred, {text::Decimal(limit_minutes)}); }

void DeferredScanStarts(bool limit_reached, std::uint32_t waited_seconds, std::uint32_t limit_minutes) {
  if (limit_reached) {
    Report(Code::kDeferredScanLimitReached, {text::Decimal(limit_minutes)});
  } else {
    Report(Code::kDeferredScanUserBack, {text::Decimal(waited_seconds)});
  }
}

void NextScanDue(std::u16string_view local_time) { Report(Code::kNextScanDue, {std::u16string(local_time)}); }

void ScheduleKeptByService(std::u16string_view account) {
  Report(Code::kScheduleKeptByService, {std::u16string(account)});
}

void SystemNextScanDue(std::u16string_view local_time, bool catch_up, std::u16string_view account) {
  Report(catch_up ? Code::kSystemCatchUpDue : Code::kSystemNextScanDue,
         {std::u16string(local_time), std::u16string(account)});
}

void SystemScanStarted(ScanOccasion occasion, bool quick, std::u16string_view command_line,
                       std::u16string_view account) {
  const Code code = occasion == ScanOccasion::kCatchUp   ? Code::kSystemScanStartedCatchUp
                    : occasion == ScanOccasion::kAtLogon ? Code::kSystemScanStartedAtLogon
                                                         : Code::kSystemScanStartedScheduled;
  Report(code, {quick ? u"quick" : u"full", std::u16string(command_line), std::u16string(account)});
}

void ScanSkippedApplicationImageRuns(std::u16string_view path) {
  Report(Code::kScanSkippedApplicationImageRuns, {std::u16string(path)});
}

void NoScansForStandardUser(std::u16string_view user) { Report(Code::kNoScansForStandardUser, {std::u16string(user)}); }

}  // namespace events
