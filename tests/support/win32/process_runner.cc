#include "support/win32/process_runner.h"

#include <vector>

namespace test_support {
namespace {

// How long Terminate waits for a process to be gone.
constexpr DWORD kTerminateWaitMs = 10000;

}  // namespace

std::wstring SiblingPath(std::wstring_view file_name) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      std::wstring path(buffer.data(), length);
      path.resize(path.find_last_of(L"\\/") + 1);
      return path.append(file_name);
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring Quoted(std::wstring_view path) {
  std::wstring quoted(L"\"");
  quoted.append(path);
  quoted.push_back(L'"');
  return quoted;
}

ChildProcess::~ChildProcess() { Terminate(); }

bool ChildProcess::Start(std::wstring_view command_line) {
  Terminate();
  // CreateProcessW may write into the command line.
  std::wstring writable(command_line);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    last_error_ = ::GetLastError();
    return false;
  }
  win32::ScopedHandle thread(info.hThread);
  process_.reset(info.hProcess);
  id_ = info.dwProcessId;
  last_error_ = ERROR_SUCCESS;
  return true;
}

std::optional<DWORD> ChildProcess::Wait(DWORD timeout_ms) {
  if (!process_) return std::nullopt;
  if (::WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0) return std::nullopt;
  DWORD exit_code = 0;
  if (!::GetExitCodeProcess(process_.get(), &exit_code)) return std::nullopt;
  return exit_code;
}

bool ChildProcess::IsRunning() const { return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

void ChildProcess::Terminate() {
  if (!process_) return;
  if (IsRunning()) {
    ::TerminateProcess(process_.get(), 1);
    ::WaitForSingleObject(process_.get(), kTerminateWaitMs);
  }
  process_.reset();
  id_ = 0;
}

ProcessResult RunProcess(std::wstring_view command_line, DWORD timeout_ms) {
  ProcessResult result;
  ChildProcess process;
  if (!process.Start(command_line)) return result;
  result.started = true;
  const std::optional<DWORD> exit_code = process.Wait(timeout_ms);
  if (!exit_code) {
    result.timed_out = true;
    process.Terminate();
    return result;
  }
  result.exit_code = *exit_code;
  return result;
}

std::wstring FromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int units = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (units <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
  return wide;
}

std::string ToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int bytes =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string narrow(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

}  // namespace test_support
