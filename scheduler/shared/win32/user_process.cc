#include "scheduler/shared/win32/user_process.h"

#include <vector>

#include "common/trace/trace.h"
#include "common/win32/scoped_handle.h"
#include "common/win32/system32_functions.h"
#include "scheduler/shared/process_creation.h"

namespace shared {
namespace {

// An environment block made by CreateEnvironmentBlock, destroyed with it.
using ScopedEnvironmentBlock = win32::ScopedResource<void*, win32::system32::DestroyEnvironmentBlock>;

}  // namespace

bool CreateUserProcess(HANDLE token, const std::u16string& command_line, DWORD base_flags,
                       PROCESS_INFORMATION& process) {
  // CreateProcessAsUserW may write into the command line.
  std::vector<wchar_t> writable(command_line.begin(), command_line.end());
  writable.push_back(L'\0');

  // The block of `token`'s user, without the caller's environment.
  ScopedEnvironmentBlock environment;
  const bool built = win32::system32::CreateEnvironmentBlock(environment.put(), token, FALSE) != FALSE;
  if (!built) trace::Trace("CreateEnvironmentBlock failed: %u\r\n", static_cast<unsigned>(::GetLastError()));
  const ProcessCreation plan = PlanProcessCreation(/*as_user=*/true, base_flags, built);

  wchar_t desktop[] = L"winsta0\\Default";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktop;
  process = {};
  if (!::CreateProcessAsUserW(token, nullptr, writable.data(), nullptr, nullptr, plan.inherit_handles ? TRUE : FALSE,
                              plan.flags, plan.pass_user_environment ? environment.get() : nullptr, nullptr, &startup,
                              &process)) {
    const DWORD error = ::GetLastError();
    trace::Trace("CreateProcessAsUserW failed: %u\r\n", static_cast<unsigned>(error));
    ::SetLastError(error);  // for the caller's report
    return false;
  }
  return true;
}

}  // namespace shared
