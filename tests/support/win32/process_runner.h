// Starting, waiting for and ending the processes that a Windows test drives.
// Every wait is bounded, and a process that a test started is ended when its
// owner goes out of scope.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "common/win32/scoped_handle.h"

namespace test_support {

// The full path of `file_name` in the folder of the running executable. The
// build puts every program and test binary into one folder.
std::wstring SiblingPath(std::wstring_view file_name);

// `path` in double quotes, as a program's first argument.
std::wstring Quoted(std::wstring_view path);

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ChildProcess(ChildProcess&&) = default;
  ChildProcess& operator=(ChildProcess&&) = default;
  // Ends the process if it still runs.
  ~ChildProcess();

  // Creates the process with CreateProcessW and no inherited handles. False
  // when it could not be created; last_error() then holds the reason.
  bool Start(std::wstring_view command_line);

  // Waits up to `timeout_ms` for the process to end: its exit code, or
  // nullopt when it still runs (or none was started).
  std::optional<DWORD> Wait(DWORD timeout_ms);

  bool IsRunning() const;

  // Ends the process if it runs and waits (bounded) until it is gone.
  void Terminate();

  DWORD id() const { return id_; }
  HANDLE handle() const { return process_.get(); }
  DWORD last_error() const { return last_error_; }

 private:
  win32::ScopedHandle process_;
  DWORD id_ = 0;
  DWORD last_error_ = ERROR_SUCCESS;
};

struct ProcessResult {
  bool started = false;
  bool timed_out = false;  // it was still running after the time limit and has been ended
  DWORD exit_code = 0;
};

// Runs `command_line` to its end, at most `timeout_ms`.
ProcessResult RunProcess(std::wstring_view command_line, DWORD timeout_ms);

// UTF-8 to UTF-16 and back, for log files and messages.
std::wstring FromUtf8(std::string_view text);
std::string ToUtf8(std::wstring_view text);

}  // namespace test_support
