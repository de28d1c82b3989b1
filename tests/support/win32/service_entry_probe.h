// The scheduler's service entry "VeltraneScheduler" as tests see it from outside:
// made, read and removed with the service control manager directly, so that
// the code under test is checked against the manager's own view.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "common/win32/scoped_handle.h"

namespace test_support {

inline constexpr wchar_t kSchedulerServiceName[] = L"VeltraneScheduler";

struct EntryConfig {
  DWORD service_type = 0;
  DWORD start_type = 0;
  DWORD error_control = 0;
  std::wstring binary_path;
  std::wstring load_order_group;
  DWORD tag = 0;
  std::wstring dependencies;  // the double-terminated list, terminators as '|'
  std::wstring account;
  std::wstring display_name;
  std::optional<std::wstring> description;  // nullopt when it could not be read
};

// The entry's configuration, or nullopt when there is no entry.
std::optional<EntryConfig> ReadEntry();

// True when the entry exists (it may be marked for deletion).
bool EntryExists();

// The current state (SERVICE_RUNNING, ...), 0 when there is no entry.
DWORD CurrentState();

// Polls until the state is `state`, at most `timeout_ms`.
bool WaitForState(DWORD state, DWORD timeout_ms);

// Polls until no entry of the name exists, at most `timeout_ms`.
bool WaitUntilGone(DWORD timeout_ms);

// Stops the service if it runs and deletes the entry; waits until it is gone.
bool RemoveEntry();

// Creates the entry for `binary_path` (demand start, own process).
bool CreateEntry(const std::wstring& binary_path, const std::wstring& display_name);

// Sets the entry's description from outside.
bool SetDescription(const std::wstring& text);

}  // namespace test_support
