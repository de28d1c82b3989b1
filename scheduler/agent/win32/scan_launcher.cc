#include "scheduler/agent/win32/scan_launcher.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/application/contract.h"
#include "common/application/win32/presence_event.h"
#include "common/application/win32/registry_settings_source.h"
#include "common/trace/trace.h"
#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "common/win32/wide.h"
#include "scheduler/agent/scan_launcher.h"
#include "scheduler/shared/process_creation.h"

namespace agent {
namespace {

constexpr std::size_t kPathUnits = 512;
constexpr std::size_t kCommandLineUnits = 1024;
// The scanner gets the system's error mode, not the one the agent keeps for
// its own faults.
constexpr DWORD kScanCreationFlags = CREATE_DEFAULT_ERROR_MODE;

wchar_t g_application_path[kPathUnits];

class Win32ScanProcess final : public ScanProcessPlatform {
 public:
  application::PresenceOpen OpenPresenceEvent() override {
    return application::OpenPresenceEvent(application::kSchedulerPresenceEvent);
  }

  bool StartScan(const std::u16string& command_line, std::uint32_t& error) override {
    // CreateProcess may write into the command line. The path comes from a
    // 1024-byte value, so the command line always fits.
    std::vector<wchar_t> writable(kCommandLineUnits, L'\0');
    const std::size_t units = std::min(command_line.size(), kCommandLineUnits - 1);
    std::copy_n(command_line.begin(), units, writable.begin());

    PROCESS_INFORMATION process = {};
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    const shared::ProcessCreation plan = shared::PlanProcessCreation(/*as_user=*/false, kScanCreationFlags, false);
    if (!::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, plan.inherit_handles ? TRUE : FALSE, plan.flags,
                          nullptr, nullptr, &startup, &process)) {
      error = ::GetLastError();
      return false;
    }
    win32::ScopedHandle thread(process.hThread);
    win32::ScopedHandle started(process.hProcess);
    trace::Trace("%ws started with PID %u\r\n", win32::Utf16(writable.data()),
                 static_cast<unsigned>(process.dwProcessId));
    return true;
  }
};

}  // namespace

const wchar_t* FindApplicationPath() {
  g_application_path[0] = L'\0';
  const std::optional<std::u16string> path = FindApplicationPath(application::SchedulerSettings());
  if (!path) return nullptr;
  const std::size_t units = std::min(path->size(), kPathUnits - 1);
  std::copy_n(path->begin(), units, g_application_path);
  g_application_path[units] = L'\0';
  return g_application_path;
}

bool LaunchScheduledScan(events::ScanOccasion occasion) {
  Win32ScanProcess platform;
  return LaunchScheduledScan(application::SchedulerSettings(), platform, occasion);
}

}  // namespace agent
