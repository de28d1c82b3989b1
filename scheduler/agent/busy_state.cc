#include "scheduler/agent/busy_state.h"

#include "common/trace/trace.h"

namespace agent {

BusyState DecideBusyState(BusyProbe& probe, const application::SettingsSource& settings) {
  const std::optional<FrontWindow> window = probe.GetFrontWindow();
  if (!window || window->left != 0 || window->top != 0) return BusyState::kAcceptsNotifications;
  if (window->right - window->left != probe.ScreenWidth() || window->bottom - window->top != probe.ScreenHeight()) {
    return BusyState::kAcceptsNotifications;
  }

  const BusyState by_border =
      (window->style & kWindowStyleBorder) == 0 ? BusyState::kBusy : BusyState::kAcceptsNotifications;

  const std::optional<std::u16string> saver =
      settings.ReadText(application::RegistryRoot::CurrentUser, kDesktopKeyPath, kScreenSaverValue, kScreenSaverBytes);
  if (!saver) return by_border;
  const std::uint32_t process_id = probe.FrontWindowProcessId();
  if (process_id == 0) return by_border;
  const std::optional<std::u16string> image = probe.ProcessImagePath(process_id);
  if (!image || image->empty()) return by_border;

  // The setting may hold the short (8.3) form; the process path is long.
  const std::u16string saver_path = probe.LongPathForm(*saver).value_or(*saver);
  trace::Trace("[%4d] %ws -> %ws\r\n", static_cast<int>(process_id), image->c_str(), saver_path.c_str());
  return probe.SamePath(*image, saver_path) ? BusyState::kNotPresent : by_border;
}

}  // namespace agent
