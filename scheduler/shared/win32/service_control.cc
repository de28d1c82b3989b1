#include "scheduler/shared/win32/service_control.h"

#include <windows.h>

#include <string>

#include "common/trace/trace.h"
#include "common/win32/module_path.h"
#include "common/win32/scoped_handle.h"
#include "common/win32/wide.h"
#include "scheduler/shared/service_entry.h"

namespace shared {
namespace {

win32::ScopedServiceHandle OpenManager(const wchar_t* database) {
  return win32::ScopedServiceHandle(::OpenSCManagerW(nullptr, database, SC_MANAGER_ALL_ACCESS));
}

// A crashed service comes back by itself (entry::kRecoveryActions). The
// handle must hold SERVICE_START besides SERVICE_CHANGE_CONFIG for restart
// actions. The actions run only when the process ends without reporting
// SERVICE_STOPPED; a stop with an error code does not count as a failure.
void SetRecoveryActions(SC_HANDLE service) {
  SC_ACTION actions[entry::kRecoveryActions.size()] = {};
  for (std::size_t i = 0; i < entry::kRecoveryActions.size(); ++i) {
    actions[i].Type = entry::kRecoveryActions[i].restart ? SC_ACTION_RESTART : SC_ACTION_NONE;
    actions[i].Delay = entry::kRecoveryActions[i].delay_ms;
  }
  SERVICE_FAILURE_ACTIONSW failure_actions = {};
  failure_actions.dwResetPeriod = entry::kFailureCountResetSeconds;
  failure_actions.cActions = static_cast<DWORD>(entry::kRecoveryActions.size());
  failure_actions.lpsaActions = actions;
  if (!::ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure_actions)) {
    trace::Trace("Recovery actions not set: %u\r\n", static_cast<unsigned>(::GetLastError()));
  }
}

}  // namespace

// The entry's names go to the Windows calls as data(): every name in
// service_entry.h is a literal, so its data is terminated.

bool InstallService() {
  wchar_t own_path[MAX_PATH] = {};
  DWORD length = 0;
  if (win32::ModuleFileName(nullptr, own_path, length) != ERROR_SUCCESS) return false;
  // Quoted, so that a path with blanks is not split into program and arguments.
  const std::wstring image_path = L"\"" + std::wstring(own_path) + L"\"";

  win32::ScopedServiceHandle manager = OpenManager(SERVICES_ACTIVE_DATABASEW);
  if (!manager) return false;
  win32::ScopedServiceHandle created(::CreateServiceW(
      manager.get(), win32::Wide(entry::kName.data()), win32::Wide(entry::kDisplayName.data()), SERVICE_ALL_ACCESS,
      SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, image_path.c_str(),
      win32::Wide(entry::kLoadOrderGroup.data()), /*lpdwTagId=*/nullptr, /*lpDependencies=*/nullptr,
      /*lpServiceStartName=*/nullptr, /*lpPassword=*/nullptr));
  if (created) {
    // The description is a courtesy to whoever looks at the entry; the entry
    // works without it.
    SERVICE_DESCRIPTIONW description = {const_cast<wchar_t*>(win32::Wide(entry::kDescription.data()))};
    ::ChangeServiceConfig2W(created.get(), SERVICE_CONFIG_DESCRIPTION, &description);
    // Like the description, the recovery actions never fail the install:
    // the entry works without them, it only does not come back by itself.
    SetRecoveryActions(created.get());
    return true;
  }
  return ::GetLastError() == ERROR_SERVICE_EXISTS;
}

bool UninstallService() {
  win32::ScopedServiceHandle manager = OpenManager(nullptr);
  if (!manager) return false;
  win32::ScopedServiceHandle scheduler(
      ::OpenServiceW(manager.get(), win32::Wide(entry::kName.data()), DELETE | SERVICE_STOP));
  if (!scheduler) return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
  // A service that does not run refuses the stop (ERROR_SERVICE_NOT_ACTIVE);
  // either way the entry is deleted, and the manager removes it once the
  // service has stopped and the last handle to it is closed.
  SERVICE_STATUS status = {};
  ::ControlService(scheduler.get(), SERVICE_CONTROL_STOP, &status);
  return ::DeleteService(scheduler.get()) != FALSE;
}

bool StartSchedulerService(bool end_of_session) {
  win32::ScopedServiceHandle manager = OpenManager(nullptr);
  if (!manager) return false;
  win32::ScopedServiceHandle scheduler(::OpenServiceW(manager.get(), win32::Wide(entry::kName.data()), SERVICE_START));
  if (!scheduler) return false;
  const wchar_t* arguments[] = {win32::Wide(entry::kEndSessionArgument.data())};
  const BOOL started =
      end_of_session ? ::StartServiceW(scheduler.get(), 1, arguments) : ::StartServiceW(scheduler.get(), 0, nullptr);
  return started || ::GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
}

bool IsSchedulerServiceStopped() {
  win32::ScopedServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  win32::ScopedServiceHandle scheduler(
      ::OpenServiceW(manager.get(), win32::Wide(entry::kName.data()), SERVICE_QUERY_STATUS));
  SERVICE_STATUS status = {};
  return scheduler && ::QueryServiceStatus(scheduler.get(), &status) && status.dwCurrentState == SERVICE_STOPPED;
}

bool StopSchedulerService() {
  win32::ScopedServiceHandle manager = OpenManager(nullptr);
  if (!manager) return false;
  win32::ScopedServiceHandle scheduler(::OpenServiceW(manager.get(), win32::Wide(entry::kName.data()), SERVICE_STOP));
  if (!scheduler) return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
  SERVICE_STATUS status = {};
  return ::ControlService(scheduler.get(), SERVICE_CONTROL_STOP, &status) ||
         ::GetLastError() == ERROR_SERVICE_NOT_ACTIVE;
}

}  // namespace shared
