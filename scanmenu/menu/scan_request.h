// Turning the chosen command into a request to the scanner application:
// one item goes on its command line, several go into a list file whose path
// goes on the command line instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/application/settings_source.h"
#include "scanmenu/menu/outcome.h"
#include "scanmenu/menu/selection.h"

namespace scanmenu {

// The list file's full path must fit this many units, terminator included.
inline constexpr std::size_t kListPathUnits = 260;
// The longest command line a process can be started with, terminator included.
inline constexpr std::size_t kCommandLineUnits = 32767;

// An open list file, written from its start; closed when destroyed.
class ListFile {
 public:
  virtual ~ListFile() = default;
  virtual bool Write(std::span<const std::byte> bytes) = 0;
};

// The operating-system calls a scan request makes.
class ScanPlatform {
 public:
  virtual ~ScanPlatform() = default;
  // The user's temporary directory, ending in a backslash; nullopt when the
  // platform gives none.
  virtual std::optional<std::u16string> TemporaryDirectory() = 0;
  // Creates `path` anew (or truncates it) for writing, shared with nobody;
  // null when that fails.
  virtual std::unique_ptr<ListFile> CreateListFile(const std::u16string& path) = 0;
  // Whether the application's presence event exists.
  virtual bool ApplicationRunning() = 0;
  // Opens `file` with the verb "open" and `parameters`; whether it started.
  virtual bool Open(const std::u16string& file, const std::u16string& parameters) = 0;
};

// The list file's path in `temporary_directory`, or nullopt when it would not
// fit in kListPathUnits.
std::optional<std::u16string> ListFilePath(std::u16string_view temporary_directory);

// Writes every path in order as UTF-16LE, each followed by CR LF, with no
// byte-order mark. Stops at the first failed write and reports it.
bool WriteFileList(ListFile& file, const Selection& paths);

// The application's executable path from its uninstall entry, or nullopt.
std::optional<std::u16string> FindApplication(const application::SettingsSource& settings);

// The parameters for the application: the single-item format around `path`,
// or the list format around the list file's path. The path goes in whole.
std::u16string ComposeScanParameters(std::u16string_view path, bool list);

// Whether the command line the platform builds from a quoted `application`
// and `parameters` fits what a process can be started with.
bool FitsCommandLine(std::u16string_view application, std::u16string_view parameters);

// True when the application was started or already runs.
bool StartScan(std::u16string_view path, bool list, ScanPlatform& platform,
               const application::SettingsSource& settings) noexcept;

// The whole of InvokeCommand after the shell's call is unpacked: `verb` is
// the command's verb field (0 for the item's own offset). Empties the
// selection on every path past the verb and selection checks, except when a
// single path cannot be copied.
Outcome InvokeScanCommand(std::uintptr_t verb, Selection& selection, ScanPlatform& platform,
                          const application::SettingsSource& settings) noexcept;

}  // namespace scanmenu
