#include "scheduler/shared/win32/settings_watch.h"

#include "common/application/contract.h"
#include "common/trace/trace.h"

namespace shared {

bool KeyWatch::Create() {
  event_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  return event_ && Register();
}

bool KeyWatch::Register() {
  key_.reset();
  for (std::size_t i = 0; i < paths_.size() && !paths_[i].empty(); ++i) {
    if (key_.Open(HKEY_LOCAL_MACHINE, paths_[i], KEY_NOTIFY) != ERROR_SUCCESS) continue;
    watched_ = i;
    break;
  }
  if (!key_) return false;
  // The key itself: its values and subkeys. A parent: a new subkey only.
  const bool own_key = watched_ == 0;
  const DWORD filter = own_key ? REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET : REG_NOTIFY_CHANGE_NAME;
  const LONG result = ::RegNotifyChangeKeyValue(key_.get(), own_key ? TRUE : FALSE, filter, event_.get(), TRUE);
  if (result != ERROR_SUCCESS) trace::Trace("RegNotifyChangeKeyValue: %ld\r\n", result);
  return result == ERROR_SUCCESS;
}

void KeyWatch::Close() {
  key_.reset();
  event_.reset();
}

KeyWatch SettingsKeyWatch() { return KeyWatch({application::kSettingsKeyPath, u"SOFTWARE", u""}); }

KeyWatch PolicyKeyWatch() { return KeyWatch({application::kPolicyKeyPath, u"SOFTWARE\\Policies", u"SOFTWARE"}); }

}  // namespace shared
