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

#include "common/application/presence.h"
#include "common/application/settings_source.h"
#include "scanmenu/menu/outcome.h"
#include "scanmenu/menu/selection.h"

namespace scanmenu {

// The list file's full path must fit this many units, terminator included.
inline constexpr std::size_t kListPathUnits = 260;
// The longest command line a process can be started with, terminator included.
inline constexpr std::size_t kCommandLineUnits = 32767;

// What an opened list file is on disk, read from the open file itself.
struct ListFileFacts {
  bool reparse_point = false;  // a link or junction placed at the name, opened itself
  bool directory = false;
  std::uint32_t links = 1;  // the names the file has
};

// An open list file, written from its start; closed when destroyed.
class ListFile {
 public:
  virtual ~ListFile() = default;
  // nullopt when they cannot be read.
  virtual std::optional<ListFileFacts> Facts() = 0;
  // Cuts the file to nothing.
  virtual bool Truncate() = 0;
  virtual bool Write(std::span<const std::byte> bytes) = 0;
};

// The operating-system calls a scan request makes.
class ScanPlatform {
 public:
  virtual ~ScanPlatform() = default;
  // The user's temporary directory, ending in a backslash; nullopt when the
  // platform gives none.
  virtual std::optional<std::u16string> TemporaryDirectory() = 0;
  // Opens `path` for writing, shared with nobody, creating it when it does
  // not exist. Whatever stands at that name is opened itself, as it is: a
  // link placed there is not followed, and nothing is truncated yet. Null
  // when that fails.
  virtual std::unique_ptr<ListFile> OpenListFile(const std::u16string& path) = 0;
  // How an open of the application's presence event ends.
  virtual application::PresenceOpen OpenPresenceEvent() = 0;
  // Opens `file` with the verb "open" and `parameters`; whether it started.
  virtual bool Open(const std::u16string& file, const std::u16string& parameters) = 0;
};

// The list file's path in `temporary_directory`, or nullopt when it would not
// fit in kListPathUnits.
std::optional<std::u16string> ListFilePath(std::u16string_view temporary_directory);

// Whether the request may write into an opened list file: a plain file with
// no other name. A link, junction or second name put there by another
// program of the user would carry the writes of a possibly elevated
// Explorer to a file of that program's choosing.
bool IsPlainListFile(const ListFileFacts& facts);

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

// True when the application was started or already runs (its presence
// event could be opened, or exists but refuses the caller).
bool StartScan(std::u16string_view path, bool list, ScanPlatform& platform,
               const application::SettingsSource& settings) noexcept;

// The whole of InvokeCommand after the shell's call is unpacked: `verb` is
// the command's verb field (0 for the item's own offset). Empties the
// selection on every path past the verb and selection checks, except when a
// single path cannot be copied. Several paths go into the list file only
// when the application does not run already: a running one may not have
// read the previous list yet.
Outcome InvokeScanCommand(std::uintptr_t verb, Selection& selection, ScanPlatform& platform,
                          const application::SettingsSource& settings) noexcept;

}  // namespace scanmenu
