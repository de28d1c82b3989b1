#include "support/win32/service_entry_probe.h"

#include <vector>

#include "support/win32/poll.h"

namespace test_support {
namespace {

win32::ScopedServiceHandle OpenEntry(DWORD access) {
  win32::ScopedServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return {};
  return win32::ScopedServiceHandle(::OpenServiceW(manager.get(), kSchedulerServiceName, access));
}

std::wstring Text(const wchar_t* text) { return text != nullptr ? text : L""; }

}  // namespace

std::optional<EntryConfig> ReadEntry() {
  win32::ScopedServiceHandle entry = OpenEntry(SERVICE_QUERY_CONFIG);
  if (!entry) return std::nullopt;
  DWORD needed = 0;
  ::QueryServiceConfigW(entry.get(), nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!::QueryServiceConfigW(entry.get(), config, needed, &needed)) return std::nullopt;
  EntryConfig result;
  result.service_type = config->dwServiceType;
  result.start_type = config->dwStartType;
  result.error_control = config->dwErrorControl;
  result.binary_path = Text(config->lpBinaryPathName);
  result.load_order_group = Text(config->lpLoadOrderGroup);
  result.tag = config->dwTagId;
  if (config->lpDependencies != nullptr) {
    for (const wchar_t* p = config->lpDependencies; *p != 0; p += wcslen(p) + 1) {
      result.dependencies += p;
      result.dependencies += L'|';
    }
  }
  result.account = Text(config->lpServiceStartName);
  result.display_name = Text(config->lpDisplayName);

  needed = 0;
  ::QueryServiceConfig2W(entry.get(), SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
  std::vector<BYTE> description_buffer(needed + sizeof(SERVICE_DESCRIPTIONW));
  auto* description = reinterpret_cast<SERVICE_DESCRIPTIONW*>(description_buffer.data());
  if (::QueryServiceConfig2W(entry.get(), SERVICE_CONFIG_DESCRIPTION, description_buffer.data(),
                             static_cast<DWORD>(description_buffer.size()), &needed)) {
    result.description = Text(description->lpDescription);
  }
  return result;
}

bool EntryExists() {
  win32::ScopedServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  win32::ScopedServiceHandle entry(::OpenServiceW(manager.get(), kSchedulerServiceName, SERVICE_QUERY_STATUS));
  return entry || ::GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
}

DWORD CurrentState() {
  win32::ScopedServiceHandle entry = OpenEntry(SERVICE_QUERY_STATUS);
  SERVICE_STATUS status = {};
  if (!entry || !::QueryServiceStatus(entry.get(), &status)) return 0;
  return status.dwCurrentState;
}

bool WaitForState(DWORD state, DWORD timeout_ms) {
  return PollFor([&] { return CurrentState() == state; }, timeout_ms);
}

bool WaitUntilGone(DWORD timeout_ms) {
  return PollFor([] { return !EntryExists(); }, timeout_ms);
}

bool RemoveEntry() {
  {
    win32::ScopedServiceHandle entry = OpenEntry(SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
    if (!entry) return !EntryExists();
    SERVICE_STATUS status = {};
    ::ControlService(entry.get(), SERVICE_CONTROL_STOP, &status);
    PollFor([&] { return ::QueryServiceStatus(entry.get(), &status) && status.dwCurrentState == SERVICE_STOPPED; },
            10000);
    ::DeleteService(entry.get());
  }
  return WaitUntilGone(10000);
}

bool CreateEntry(const std::wstring& binary_path, const std::wstring& display_name) {
  win32::ScopedServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return false;
  win32::ScopedServiceHandle entry(::CreateServiceW(
      manager.get(), kSchedulerServiceName, display_name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
      SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, binary_path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  return static_cast<bool>(entry);
}

bool SetDescription(const std::wstring& text) {
  win32::ScopedServiceHandle entry = OpenEntry(SERVICE_CHANGE_CONFIG);
  SERVICE_DESCRIPTIONW description = {const_cast<wchar_t*>(text.c_str())};
  return entry && ::ChangeServiceConfig2W(entry.get(), SERVICE_CONFIG_DESCRIPTION, &description);
}

}  // namespace test_support
