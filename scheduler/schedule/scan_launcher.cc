#include "scheduler/schedule/scan_launcher.h"

#include "common/application/contract.h"
#include "common/application/uninstall_string.h"
#include "scheduler/schedule/schedule.h"
#include "scheduler/schedule/setting_text.h"

namespace schedule {
namespace {

using datetime::DateTime;
using datetime::TimeSpan;

// A full scan is forced when the last one is older than this.
constexpr double kFullScanPeriodDays = 30.0;

std::u16string UninstallEntryKey() {
  std::u16string key(application::kUninstallKeyPath);
  key += u'\\';
  key += application::kSchedulerUninstallSubkey;
  return key;
}

std::optional<std::u16string> ReadSetting(const application::SettingsSource& settings, std::u16string_view name) {
  return settings.ReadText(application::RegistryRoot::LocalMachine, application::kSettingsKeyPath, name,
                           application::kSettingBytes);
}

}  // namespace

std::optional<std::u16string> FindApplicationPath(const application::SettingsSource& settings) {
  const std::optional<std::u16string> value =
      settings.ReadText(application::RegistryRoot::LocalMachine, UninstallEntryKey(),
                        application::kUninstallStringValue, application::kUninstallStringBytes);
  if (!value) return std::nullopt;
  std::u16string path = application::ExecutablePathFromUninstallString(*value);
  if (path.empty()) return std::nullopt;
  return path;
}

bool IsQuickScanDue(const application::SettingsSource& settings, DateTime now) {
  bool quick = true;
  if (const auto scan_type = ReadSetting(settings, application::kSchedulerScanTypeValue);
      scan_type && !SettingEquals(*scan_type, application::kQuickScanWord)) {
    quick = false;
  }
  if (const auto last_full_scan = ReadSetting(settings, application::kLastDefaultScanValue)) {
    DateTime last_full_scan_time;
    if (ParseTimestamp(*last_full_scan, last_full_scan_time) &&
        last_full_scan_time < now - TimeSpan::FromDays(kFullScanPeriodDays)) {
      quick = false;
    }
  }
  return quick;
}

std::u16string ScheduledScanCommandLine(std::u16string_view path, bool quick) {
  // kScheduledScanFormat is "\"%s\" /scan:boot /quiet": the path goes in
  // place of %s.
  const std::u16string_view format = application::kScheduledScanFormat;
  const std::size_t placeholder = format.find(u"%s");
  std::u16string command_line(format.substr(0, placeholder));
  command_line += path;
  command_line += format.substr(placeholder + 2);
  if (quick) command_line += application::kQuickScanSwitch;
  return command_line;
}

bool LaunchScheduledScan(const application::SettingsSource& settings, ScanProcessPlatform& platform,
                         events::ScanOccasion occasion) {
  // Before anything else, so that the schedule moves on to the next period
  // even when nothing is started.
  lastScanTime = DateTime::Now();
  if (application::ApplicationRuns(platform.OpenPresenceEvent())) {
    events::ScanSkippedApplicationRuns();
    return true;
  }
  const std::u16string entry = UninstallEntryKey();
  const std::optional<std::u16string> value =
      settings.ReadText(application::RegistryRoot::LocalMachine, entry, application::kUninstallStringValue,
                        application::kUninstallStringBytes);
  if (!value) {
    events::ScanSkippedNoEntry(entry);
    return false;
  }
  const std::optional<std::u16string> path = FindApplicationPath(settings);
  if (!path) {
    events::ScanSkippedMalformedEntry(entry, *value);
    return false;
  }
  if (platform.ApplicationImageRuns(*path)) {
    events::ScanSkippedApplicationImageRuns(*path);
    return true;
  }
  const bool quick = IsQuickScanDue(settings, DateTime::Now());
  const std::u16string command_line = ScheduledScanCommandLine(*path, quick);
  std::uint32_t error = 0;
  if (!platform.StartScan(command_line, error)) {
    events::ScanStartFailed(command_line, error);
    return false;
  }
  if (const std::u16string account = platform.Account(); !account.empty()) {
    events::SystemScanStarted(occasion, quick, command_line, account);
  } else {
    events::ScanStarted(occasion, quick, command_line);
  }
  return true;
}

}  // namespace schedule
