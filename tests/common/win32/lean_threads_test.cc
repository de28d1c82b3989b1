// The runtime's exceptions over lean_threads.cc, as in the shipped binaries
// of both builds: threads that throw and catch at once, through frames with
// cleanups, each one's exception its own (the per-thread records), on 32-bit
// x86 the unwinder's frame lookup under its lock. No test framework: it would bring
// the thread library back. Exit code 0 when every exception arrived whole.
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/win32/scoped_handle.h"

namespace {

constexpr int kThreads = 4;
constexpr int kThrows = 2000;

[[gnu::noinline]] void ThrowIf(bool really, int thread, int turn) {
  if (really) throw std::to_string(thread * kThrows + turn);
}

[[gnu::noinline]] int Through(int thread, int turn, int depth) {
  const std::string cleanup(32, 'x');  // destroyed by the unwinding
  if (depth == 0) {
    ThrowIf(turn >= 0, thread, turn);
    return 0;
  }
  return Through(thread, turn, depth - 1) + static_cast<int>(cleanup.size());
}

HANDLE g_start = nullptr;

DWORD WINAPI Run(void* parameter) {
  const int thread = static_cast<int>(reinterpret_cast<INT_PTR>(parameter));
  if (::WaitForSingleObject(g_start, INFINITE) != WAIT_OBJECT_0) return kThrows;
  DWORD wrong = 0;
  for (int turn = 0; turn < kThrows; ++turn) {
    const std::string expected = std::to_string(thread * kThrows + turn);
    try {
      Through(thread, turn, turn % 8);
      ++wrong;
    } catch (const std::string&) {
      ::SwitchToThread();  // let the others throw and catch meanwhile
      try {
        throw;  // the exception this thread handles, from its own records
      } catch (const std::string& again) {
        if (again != expected) ++wrong;
      }
    }
  }
  return wrong;
}

}  // namespace

int main() {
  win32::ScopedHandle start(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!start) return 2;
  g_start = start.get();
  win32::ScopedHandle owners[kThreads];
  HANDLE threads[kThreads] = {};
  for (int i = 0; i < kThreads; ++i) {
    owners[i] = win32::ScopedHandle(
        ::CreateThread(nullptr, 0, Run, reinterpret_cast<void*>(static_cast<INT_PTR>(i)), 0, nullptr));
    if (!owners[i]) return 2;
    threads[i] = owners[i].get();
  }
  ::SetEvent(g_start);  // all at once
  if (::WaitForMultipleObjects(kThreads, threads, TRUE, INFINITE) == WAIT_FAILED) return 2;
  DWORD wrong = 0;
  for (HANDLE thread : threads) {
    DWORD code = 1;
    if (!::GetExitCodeThread(thread, &code)) return 2;
    wrong += code;
  }
  std::printf("%d threads, %d exceptions each: %lu arrived wrong or not at all\n", kThreads, kThrows, wrong);
  return wrong == 0 ? 0 : 1;
}
