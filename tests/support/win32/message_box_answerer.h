// Answers the message boxes that a program under test shows: finds the dialog
// by its caption, reads what it says and presses its OK button, so that a
// test can compare the text instead of merely getting the box out of the way.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/win32/process_runner.h"

namespace test_support {

struct MessageBoxSeen {
  DWORD process_id = 0;  // the process that showed it
  std::wstring caption;
  std::wstring text;                  // the message itself
  std::vector<std::wstring> buttons;  // labels of the visible buttons, in window order
  bool has_icon = false;              // a visible icon control that shows an icon
};

// Waits up to `timeout_ms` for a visible dialog whose caption is `caption`,
// shown by process `process_id` (0: by any process), reads it and presses
// OK. nullopt when none appeared in time.
std::optional<MessageBoxSeen> AnswerMessageBox(std::wstring_view caption, DWORD process_id, DWORD timeout_ms);

struct DialogRunResult {
  ProcessResult process;
  std::vector<MessageBoxSeen> boxes;  // every box answered, in order
};

// Runs `command_line` to its end, at most `timeout_ms`, answering every
// message box with `caption` that the process shows on the way.
DialogRunResult RunAnsweringMessageBoxes(std::wstring_view command_line, std::wstring_view caption, DWORD timeout_ms);

// The same for several programs at once, all started together: one result
// per command line, in order. For programs that take long to end.
std::vector<DialogRunResult> RunAllAnsweringMessageBoxes(const std::vector<std::wstring>& command_lines,
                                                         std::wstring_view caption, DWORD timeout_ms);

}  // namespace test_support
