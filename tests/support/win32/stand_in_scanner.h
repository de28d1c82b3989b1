// The stand-in scanner as a test installs it: a copy of the program in a
// fresh folder whose name holds blanks, registered under the uninstall key
// the way the real application registers itself. Everything is removed again
// when the owner goes out of scope.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/win32/process_runner.h"

namespace test_support {

// The uninstall subkeys the two deliverables look their application up under.
inline constexpr wchar_t kSchedulerApplicationSubkey[] = L"Veltrane37";
inline constexpr wchar_t kScanmenuApplicationSubkey[] = L"QuenorClean";
// The presence events of the two deliverables.
inline constexpr wchar_t kSchedulerPresenceEvent[] = L"Veltrane 3.7 Application";
inline constexpr wchar_t kScanmenuPresenceEvent[] = L"Quenor Clean Application";

// The whole lines of a UTF-8 log file (a line still being written is left
// out); empty when the file does not exist.
std::vector<std::wstring> ReadLogLines(const std::wstring& path);

// A process that holds a named event, as the running application does. The
// event exists from construction (when ok()) until destruction, which ends
// the process.
class PresenceEventHolder {
 public:
  // Starts the stand-in scanner beside the test binary with --hold-event (or
  // --hold-refusing-event, for an event whose DACL grants nobody access) and
  // waits (bounded) until the event exists.
  explicit PresenceEventHolder(std::wstring_view event_name, bool refusing = false);
  ~PresenceEventHolder();
  PresenceEventHolder(const PresenceEventHolder&) = delete;
  PresenceEventHolder& operator=(const PresenceEventHolder&) = delete;

  bool ok() const { return ok_; }

 private:
  ChildProcess process_;
  bool ok_ = false;
};

class StandInScanner {
 public:
  // Copies the stand-in scanner into "%TEMP%\Stand In Scanner <n>\scanner.exe"
  // and registers it under HKLM\...\Uninstall\<subkey> with the
  // "UninstallString" "\"<path>\" /uninstall /silent". ok() tells whether all
  // of it worked.
  explicit StandInScanner(std::wstring_view subkey);
  // Removes the registration, the copy, its log and its folder.
  ~StandInScanner();
  StandInScanner(const StandInScanner&) = delete;
  StandInScanner& operator=(const StandInScanner&) = delete;

  bool ok() const { return ok_; }
  // The copy's full path (without quotes).
  const std::wstring& path() const { return path_; }

  // Rewrites "UninstallString" with `text`, whatever it holds.
  bool SetUninstallString(std::wstring_view text);
  // Deletes the uninstall subkey (the copy stays).
  bool Unregister();

  // The command lines logged so far, one per start.
  std::vector<std::wstring> Log() const;
  // Waits up to `timeout_ms` until at least `count` lines are logged, and
  // returns what is logged then.
  std::vector<std::wstring> WaitForLog(std::size_t count, DWORD timeout_ms) const;
  void ClearLog();
  // The USERPROFILE of the latest logged start; empty before the first.
  std::wstring LastUserProfile() const;
  // The id of the process that created the latest logged start; 0 before the first.
  DWORD LastParentProcessId() const;

  // Holds the presence event `event_name` while the result lives.
  static std::unique_ptr<PresenceEventHolder> HoldPresenceEvent(std::wstring_view event_name, bool refusing = false);

 private:
  std::wstring subkey_;
  std::wstring folder_;
  std::wstring path_;
  std::wstring log_;
  std::wstring profile_;
  std::wstring parent_;
  bool ok_ = false;
};

}  // namespace test_support
