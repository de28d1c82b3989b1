// Names and formats fixed between this system and the scanner application.
// Both deliverables take them from here; nothing else spells them out.
#pragma once

#include <cstddef>
#include <string_view>

namespace application {

// Where the application is installed: the "UninstallString" of its entry under
// HKEY_LOCAL_MACHINE begins with the executable's full path in double quotes.
inline constexpr std::u16string_view kUninstallKeyPath = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr std::u16string_view kSchedulerUninstallSubkey = u"Veltrane37";
inline constexpr std::u16string_view kScanmenuUninstallSubkey = u"QuenorClean";
inline constexpr std::u16string_view kUninstallStringValue = u"UninstallString";
// Read buffer for "UninstallString", in bytes (512 UTF-16 units).
inline constexpr std::size_t kUninstallStringBytes = 1024;

// Named events that exist while the application runs. Only ever opened.
inline constexpr std::u16string_view kSchedulerPresenceEvent = u"Veltrane 3.7 Application";
inline constexpr std::u16string_view kScanmenuPresenceEvent = u"Quenor Clean Application";

// Scheduled scan: the process is created with this command line (the
// executable path in place of %s), followed by kQuickScanSwitch for a quick scan.
inline constexpr std::u16string_view kScheduledScanFormat = u"\"%s\" /scan:boot /quiet";
inline constexpr std::u16string_view kQuickScanSwitch = u" /quick";

// Context-menu scan: parameters handed to the application with verb "open".
inline constexpr std::u16string_view kShellOpenVerb = u"open";
inline constexpr std::u16string_view kScanOneItemFormat = u"/scan \"%s\"";
inline constexpr std::u16string_view kScanFileListFormat = u"/scan /filelist=\"%s\"";
inline constexpr std::u16string_view kFileListName = u"quenorclean.filelist";

// Schedule settings and scan history, under HKEY_LOCAL_MACHINE, read only.
inline constexpr std::u16string_view kSettingsKeyPath = u"SOFTWARE\\Veltrane";
inline constexpr std::u16string_view kSchedulerWhenValue = u"SchedulerWhen";
inline constexpr std::u16string_view kSchedulerAroundValue = u"SchedulerAround";
inline constexpr std::u16string_view kSchedulerScanTypeValue = u"SchedulerScanType";
inline constexpr std::u16string_view kLastScanValue = u"LastScan";
inline constexpr std::u16string_view kLastDefaultScanValue = u"LastDefaultScan";
// "SchedulerScanType": a quick scan, or a full one for any other text.
inline constexpr std::u16string_view kQuickScanWord = u"quick";
inline constexpr std::u16string_view kFullScanWord = u"full";
// Waiting for the user (minutes; DWORD or decimal text; absent or 0: none):
// a due scan waits while a borderless full-screen window is in front, at most
// this long; and each scheduled run is moved later by a random delay below
// this many minutes, so that a fleet does not scan all at once.
inline constexpr std::u16string_view kSchedulerDeferBusyMinutesValue = u"SchedulerDeferBusyMinutes";
inline constexpr std::u16string_view kSchedulerRandomDelayMinutesValue = u"SchedulerRandomDelayMinutes";
// Who keeps the schedule: "system" (any case) the service itself, as
// LocalSystem in session 0, whether or not anyone is logged on; anything
// else, or nothing, an agent in the session of an administrator at the
// console.
inline constexpr std::u16string_view kSchedulerRunAsValue = u"SchedulerRunAs";
inline constexpr std::u16string_view kRunAsSystemWord = u"system";
// Read buffers, in bytes.
inline constexpr std::size_t kSettingBytes = 512;
inline constexpr std::size_t kLastScanBytes = 128;

// Group Policy: under HKEY_LOCAL_MACHINE, each of these settings is read
// from the policy key first and, where it is absent there, from the settings
// key. The scan history is never taken from the policy key.
inline constexpr std::u16string_view kPolicyKeyPath = u"SOFTWARE\\Policies\\Veltrane";
inline constexpr std::u16string_view kPolicySettings[] = {
    kSchedulerWhenValue,
    kSchedulerAroundValue,
    kSchedulerScanTypeValue,
    kSchedulerDeferBusyMinutesValue,
    kSchedulerRandomDelayMinutesValue,
    kSchedulerRunAsValue,
};

// Update signal: set from outside by an administrator; the service and every
// agent then end.
inline constexpr std::u16string_view kUpdateEventName = u"Global\\Veltrane Scheduler Update";

}  // namespace application
