// Waiting for something another process does: the condition is tested at
// once and then every `interval_ms` until it holds or `timeout_ms` has passed.
#pragma once

#include <windows.h>

namespace test_support {

template <typename Condition>
bool PollFor(Condition condition, DWORD timeout_ms, DWORD interval_ms = 50) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  for (;;) {
    if (condition()) return true;
    if (::GetTickCount64() >= deadline) return false;
    ::Sleep(interval_ms);
  }
}

}  // namespace test_support
