#include "scanmenu/menu/scan_request.h"

#include <array>
#include <new>

#include "common/application/contract.h"
#include "common/application/uninstall_string.h"

namespace scanmenu {
namespace {

constexpr std::u16string_view kPlaceholder = u"%s";

// Collects the list's bytes and hands them to the file in large pieces.
class ChunkWriter {
 public:
  explicit ChunkWriter(ListFile& file) : file_(file) {}

  bool Put(char16_t unit) {
    if (used_ + 2 > chunk_.size() && !Flush()) return false;
    chunk_[used_++] = static_cast<std::byte>(unit & 0xFF);
    chunk_[used_++] = static_cast<std::byte>(unit >> 8);
    return true;
  }

  bool Flush() {
    if (used_ == 0) return true;
    const bool written = file_.Write(std::span<const std::byte>(chunk_.data(), used_));
    used_ = 0;
    return written;
  }

 private:
  ListFile& file_;
  std::array<std::byte, 16384> chunk_;
  std::size_t used_ = 0;
};

}  // namespace

std::optional<std::u16string> ListFilePath(std::u16string_view temporary_directory) {
  if (temporary_directory.size() + application::kFileListName.size() + 1 > kListPathUnits) {
    return std::nullopt;
  }
  std::u16string path(temporary_directory);
  path += application::kFileListName;
  return path;
}

bool IsPlainListFile(const ListFileFacts& facts) {
  return !facts.reparse_point && !facts.directory && facts.links == 1;
}

bool WriteFileList(ListFile& file, const Selection& paths) {
  ChunkWriter writer(file);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    for (const char16_t unit : paths[i]) {
      if (!writer.Put(unit)) return false;
    }
    if (!writer.Put(u'\r') || !writer.Put(u'\n')) return false;
  }
  return writer.Flush();
}

std::optional<std::u16string> FindApplication(const application::SettingsSource& settings) {
  std::u16string key(application::kUninstallKeyPath);
  key += u'\\';
  key += application::kScanmenuUninstallSubkey;
  const std::optional<std::u16string> value =
      settings.ReadText(application::RegistryRoot::LocalMachine, key, application::kUninstallStringValue,
                        application::kUninstallStringBytes);
  if (!value) return std::nullopt;
  std::u16string path = application::ExecutablePathFromUninstallString(*value);
  if (path.empty()) return std::nullopt;
  return path;
}

std::u16string ComposeScanParameters(std::u16string_view path, bool list) {
  const std::u16string_view format = list ? application::kScanFileListFormat : application::kScanOneItemFormat;
  const std::size_t at = format.find(kPlaceholder);
  std::u16string parameters(format.substr(0, at));
  parameters += path;
  parameters += format.substr(at + kPlaceholder.size());
  return parameters;
}

bool FitsCommandLine(std::u16string_view application, std::u16string_view parameters) {
  // "<application>" <parameters> and the terminator.
  const std::size_t units = application.size() + 2 + 1 + parameters.size() + 1;
  return units <= kCommandLineUnits;
}

namespace {

bool ApplicationRuns(ScanPlatform& platform) { return application::ApplicationRuns(platform.OpenPresenceEvent()); }

// Starts the application with `path` in the format `list` asks for, without
// looking whether it runs.
bool OpenApplication(std::u16string_view path, bool list, ScanPlatform& platform,
                     const application::SettingsSource& settings) noexcept {
  try {
    const std::optional<std::u16string> application = FindApplication(settings);
    if (!application) return false;
    const std::u16string parameters = ComposeScanParameters(path, list);
    if (!FitsCommandLine(*application, parameters)) return false;
    return platform.Open(*application, parameters);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// Opens the list file at `path` and writes `selection` into it: kOk when all
// of it is written, kNothingStarted when a write fails (the part written
// stays), kInvalidArgument when the file cannot be opened, is no plain file
// of its own, or cannot be emptied first; such a file keeps what it held.
Outcome WriteListFile(const std::u16string& path, const Selection& selection, ScanPlatform& platform) {
  const std::unique_ptr<ListFile> file = platform.OpenListFile(path);
  if (!file) return Outcome::kInvalidArgument;
  const std::optional<ListFileFacts> facts = file->Facts();
  if (!facts || !IsPlainListFile(*facts) || !file->Truncate()) return Outcome::kInvalidArgument;
  return WriteFileList(*file, selection) ? Outcome::kOk : Outcome::kNothingStarted;
}

}  // namespace

bool StartScan(std::u16string_view path, bool list, ScanPlatform& platform,
               const application::SettingsSource& settings) noexcept {
  if (ApplicationRuns(platform)) return true;
  return OpenApplication(path, list, platform, settings);
}

Outcome InvokeScanCommand(std::uintptr_t verb, Selection& selection, ScanPlatform& platform,
                          const application::SettingsSource& settings) noexcept {
  if (verb != 0) return Outcome::kInvalidArgument;
  if (selection.empty()) return Outcome::kInvalidArgument;

  if (selection.size() == 1) {
    const HeapText path = selection.CopyOf(0);
    if (!path) return Outcome::kNothingStarted;
    selection.FreePaths();
    return StartScan(path.view(), false, platform, settings) ? Outcome::kOk : Outcome::kNothingStarted;
  }

  // A running application is left alone before anything is written.
  if (ApplicationRuns(platform)) {
    selection.FreePaths();
    return Outcome::kOk;
  }
  Outcome result = Outcome::kInvalidArgument;
  std::optional<std::u16string> list_path;
  try {
    if (const std::optional<std::u16string> directory = platform.TemporaryDirectory()) {
      list_path = ListFilePath(*directory);
    }
    if (list_path) result = WriteListFile(*list_path, selection, platform);
  } catch (const std::bad_alloc&) {
    // No path or no file: the request fails like any other that could not
    // create its list.
  }
  selection.FreePaths();
  if (result != Outcome::kOk) return result;
  return OpenApplication(*list_path, true, platform, settings) ? Outcome::kOk : Outcome::kNothingStarted;
}

}  // namespace scanmenu
