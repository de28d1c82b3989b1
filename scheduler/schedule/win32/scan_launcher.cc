#include "scheduler/schedule/win32/scan_launcher.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/application/contract.h"
#include "common/application/win32/presence_event.h"
#include "common/application/win32/presence_image.h"
#include "common/application/win32/registry_settings_source.h"
#include "common/trace/trace.h"
#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "common/win32/wide.h"
#include "scheduler/schedule/scan_launcher.h"
#include "scheduler/shared/process_creation.h"

namespace schedule {
namespace {

constexpr std::size_t kPathUnits = 512;
constexpr std::size_t kCommandLineUnits = 1024;
// The scanner gets the system's error mode, not the one the agent keeps for
// its own faults.
constexpr DWORD kScanCreationFlags = CREATE_DEFAULT_ERROR_MODE;

wchar_t g_application_path[kPathUnits];

class Win32ScanProcess : public ScanProcessPlatform {
 public:
  application::PresenceOpen OpenPresenceEvent() override {
    return application::OpenPresenceEvent(application::kSchedulerPresenceEvent);
  }

  bool StartScan(const std::u16string& command_line, std::uint32_t& error) override {
    const shared::ProcessCreation plan = shared::PlanProcessCreation(/*as_user=*/false, kScanCreationFlags, false);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    return Create(command_line, plan.inherit_handles, plan.flags, startup, error);
  }

 protected:
  static bool Create(const std::u16string& command_line, bool inherit_handles, DWORD flags, STARTUPINFOW& startup,
                     std::uint32_t& error) {
    // CreateProcess may write into the command line. The path comes from a
    // 1024-byte value, so the command line always fits.
    std::vector<wchar_t> writable(kCommandLineUnits, L'\0');
    const std::size_t units = std::min(command_line.size(), kCommandLineUnits - 1);
    std::copy_n(command_line.begin(), units, writable.begin());

    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, inherit_handles ? TRUE : FALSE, flags, nullptr,
                          nullptr, &startup, &process)) {
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

// The service's scan: nothing of the service's is handed on (no handle, no
// window on session 0's desktop, where nobody could see or close it).
class Win32ServiceScanProcess final : public Win32ScanProcess {
 public:
  bool StartScan(const std::u16string& command_line, std::uint32_t& error) override {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    return Create(command_line, /*inherit_handles=*/false, kScanCreationFlags | CREATE_NO_WINDOW, startup, error);
  }
  bool ApplicationImageRuns(std::u16string_view path) override { return application::ProcessWithImageRuns(path); }
  std::u16string Account() override { return OwnAccountName(); }
};

}  // namespace

std::u16string OwnAccountName() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return u"?";
  win32::ScopedHandle token(raw);
  // TOKEN_USER and the SID it points to, which follows it.
  alignas(TOKEN_USER) unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof buffer;
  if (!::GetTokenInformation(token.get(), TokenUser, buffer, size, &size)) return u"?";
  const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer)->User.Sid;
  wchar_t name[256] = {};
  wchar_t domain[256] = {};
  DWORD name_units = 256;
  DWORD domain_units = 256;
  SID_NAME_USE use;
  if (!::LookupAccountSidW(nullptr, sid, name, &name_units, domain, &domain_units, &use)) return u"?";
  std::u16string account = win32::FromWide(domain);
  if (!account.empty()) account += u'\\';
  return account + win32::FromWide(name);
}

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

bool LaunchServiceScan(events::ScanOccasion occasion) {
  Win32ServiceScanProcess platform;
  return LaunchScheduledScan(application::SchedulerSettings(), platform, occasion);
}

}  // namespace schedule
