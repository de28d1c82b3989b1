// Watching the keys the scheduler's settings live in, so that a changed
// setting takes effect at once, in the service and in the agent alike.
#pragma once

#include <windows.h>

#include <array>
#include <string_view>

#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"

namespace shared {

// One key under HKEY_LOCAL_MACHINE watched with RegNotifyChangeKeyValue: its
// event signals once after a change of the key's values or subkeys. When the
// key does not exist yet, the first of the fall-back paths that does (its
// parents) is watched for a new subkey, so that the key's creation counts as
// a change. Used by one thread, which must outlive the registration.
class KeyWatch {
 public:
  // `paths`: the key first, then its parents, nearest first.
  explicit KeyWatch(std::array<std::u16string_view, 3> paths) : paths_(paths) {}

  // Creates the event and registers; false when nothing could be watched.
  bool Create();
  HANDLE event() const { return event_.get(); }
  // Registers again after the event signalled. The key is opened afresh,
  // since the one watched may have been deleted and made again (as a policy
  // refresh does). It is closed only once its registration has signalled, so
  // that the close signals nothing more.
  bool Register();
  void Close();

 private:
  std::array<std::u16string_view, 3> paths_;  // empty ones unused
  win32::RegistryKey key_;
  std::size_t watched_ = 0;
  win32::ScopedHandle event_;
};

// The settings key "SOFTWARE\Veltrane", and the policy key
// "SOFTWARE\Policies\Veltrane", each with its fall-backs.
KeyWatch SettingsKeyWatch();
KeyWatch PolicyKeyWatch();

}  // namespace shared
