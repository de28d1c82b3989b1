// Whether the user is busy with a full-screen program, or away with the
// screen saver running, judged from the window in front.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/application/settings_source.h"

namespace agent {

// The shell's notification-state numbers for the same states.
enum class BusyState : std::int32_t {
  kNotPresent = 1,  // the configured screen saver owns the full-screen window
  kBusy = 2,        // a borderless full-screen window is in front
  kAcceptsNotifications = 5,
};

inline constexpr std::uint32_t kWindowStyleBorder = 0x00800000;  // WS_BORDER
// Where the user's screen saver is configured, under HKEY_CURRENT_USER.
inline constexpr char16_t kDesktopKeyPath[] = u"Control Panel\\Desktop";
inline constexpr char16_t kScreenSaverValue[] = u"SCRNSAVE.EXE";
inline constexpr std::size_t kScreenSaverBytes = 520;

struct FrontWindow {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;  // screen coordinates
  std::uint32_t style = 0;
};

class BusyProbe {
 public:
  virtual ~BusyProbe() = default;
  // The window in front and its rectangle; nothing when there is no window
  // or its rectangle cannot be had.
  virtual std::optional<FrontWindow> GetFrontWindow() = 0;
  virtual std::int32_t ScreenWidth() = 0;
  virtual std::int32_t ScreenHeight() = 0;
  // The id of the process that owns the front window, 0 when unknown.
  virtual std::uint32_t FrontWindowProcessId() = 0;
  // The executable path of a process; nothing when it cannot be opened or read.
  virtual std::optional<std::u16string> ProcessImagePath(std::uint32_t process_id) = 0;
  // The long form of a path; nothing when it cannot be had or is too long.
  virtual std::optional<std::u16string> LongPathForm(const std::u16string& path) = 0;
  // Paths compare the way the file system compares names: without case.
  virtual bool SamePath(const std::u16string& a, const std::u16string& b) = 0;
};

// The cheap window tests come first; the screen-saver setting and the owning
// process are looked at only for a window that covers the primary screen.
BusyState DecideBusyState(BusyProbe& probe, const application::SettingsSource& settings);

}  // namespace agent
