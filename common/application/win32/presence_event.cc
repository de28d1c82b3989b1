#include "common/application/win32/presence_event.h"

#include <windows.h>

#include <string>

#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"

namespace application {

PresenceOpen OpenPresenceEvent(std::u16string_view name) {
  const std::u16string terminated(name);
  const win32::ScopedHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, win32::Wide(terminated)));
  if (event) return PresenceOpen::kOpened;
  switch (::GetLastError()) {
    case ERROR_ACCESS_DENIED:
      return PresenceOpen::kAccessDenied;
    case ERROR_FILE_NOT_FOUND:
      return PresenceOpen::kNotFound;
    default:
      return PresenceOpen::kFailed;
  }
}

}  // namespace application
