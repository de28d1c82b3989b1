// Collects what other processes write with OutputDebugStringA, the way a
// debug-output viewer does: through the shared "DBWIN_BUFFER" and its two
// events. Used to read the trace lines of the traced scheduler build. On
// Windows it also listens in the global namespace, where a service in
// session 0 writes; Wine has one session, whose names those are already.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/win32/scoped_handle.h"

namespace test_support {

class DebugOutputListener {
 public:
  struct Line {
    DWORD process_id;
    std::string text;
  };

  DebugOutputListener();
  ~DebugOutputListener();
  DebugOutputListener(const DebugOutputListener&) = delete;
  DebugOutputListener& operator=(const DebugOutputListener&) = delete;

  // False when another listener owns a buffer already.
  bool IsListening() const { return listening_; }

  std::vector<Line> Lines() const;
  // The texts only, in arrival order.
  std::vector<std::string> Texts() const;
  // Waits up to `timeout_ms` for a line that holds `part`.
  bool WaitForLine(const std::string& part, DWORD timeout_ms) const;
  void Clear();

 private:
  // One buffer with its two events, under one name prefix.
  struct Channel {
    win32::ScopedHandle buffer_ready;
    win32::ScopedHandle data_ready;
    win32::ScopedHandle mapping;
    void* view = nullptr;
    std::thread thread;
  };

  bool Open(Channel& channel, const std::wstring& prefix);
  void Run(Channel& channel);

  std::vector<std::unique_ptr<Channel>> channels_;
  bool listening_ = false;
  std::atomic<bool> stop_{false};
  mutable std::mutex lock_;
  std::vector<Line> lines_;
};

}  // namespace test_support
