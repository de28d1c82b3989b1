#include "support/win32/message_box_answerer.h"

namespace test_support {
namespace {

constexpr DWORD kPollMs = 50;
// A hung target must not hang the test: every message to it is bounded.
constexpr UINT kMessageTimeoutMs = 2000;
// How long a pressed box may take to close.
constexpr DWORD kCloseWaitMs = 5000;

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  const int length = ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
  return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::optional<std::wstring> WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &length)) {
    return std::nullopt;
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                             kMessageTimeoutMs, &copied)) {
    return std::nullopt;
  }
  text.resize(copied);
  return text;
}

bool HasStyle(HWND window, LONG style) { return (::GetWindowLongW(window, GWL_STYLE) & style) == style; }

struct Search {
  std::wstring_view caption;
  DWORD process_id;
  HWND found = nullptr;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (search->process_id != 0 && owner != search->process_id) return TRUE;
  // Dialogs carry the system's dialog class; only a box that is fully set up
  // (made visible after its initialisation) is read.
  if (ClassName(window) != L"#32770" || !HasStyle(window, WS_VISIBLE)) return TRUE;
  wchar_t caption[256] = {};
  ::GetWindowTextW(window, caption, static_cast<int>(std::size(caption)));
  if (search->caption != caption) return TRUE;
  search->found = window;
  return FALSE;
}

struct Controls {
  std::wstring text;
  std::vector<std::wstring> buttons;
  int ok_id = 0;
  int first_button_id = 0;
  bool has_icon = false;
};

BOOL CALLBACK ReadControl(HWND control, LPARAM context) {
  auto* controls = reinterpret_cast<Controls*>(context);
  if (!HasStyle(control, WS_VISIBLE)) return TRUE;
  const std::wstring name = ClassName(control);
  const LONG style = ::GetWindowLongW(control, GWL_STYLE);
  const int id = ::GetDlgCtrlID(control);
  if (_wcsicmp(name.c_str(), L"Static") == 0) {
    if ((style & SS_TYPEMASK) == SS_ICON) {
      // The icon control may stand empty in a box without an icon.
      DWORD_PTR icon = 0;
      if (::SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &icon) && icon != 0) {
        controls->has_icon = true;
      }
    } else if (const auto text = WindowText(control); text && !text->empty() && controls->text.empty()) {
      controls->text = *text;
    }
  } else if (_wcsicmp(name.c_str(), L"Button") == 0) {
    controls->buttons.push_back(WindowText(control).value_or(L""));
    if (controls->first_button_id == 0) controls->first_button_id = id;
    if (id == IDOK) controls->ok_id = id;
  }
  return TRUE;
}

}  // namespace

std::optional<MessageBoxSeen> AnswerMessageBox(std::wstring_view caption, DWORD process_id, DWORD timeout_ms) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  for (;;) {
    Search search{caption, process_id};
    ::EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) {
      Controls controls;
      ::EnumChildWindows(search.found, ReadControl, reinterpret_cast<LPARAM>(&controls));
      DWORD owner = 0;
      ::GetWindowThreadProcessId(search.found, &owner);
      MessageBoxSeen seen{owner, std::wstring(caption), controls.text, controls.buttons, controls.has_icon};
      // A box with the single button OK ends with that button's command.
      const int button = controls.ok_id != 0 ? controls.ok_id : controls.first_button_id;
      HWND control = ::GetDlgItem(search.found, button);
      ::PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(control));
      // Wait for the box to go, so that the next search does not find it again.
      const ULONGLONG closed_by = ::GetTickCount64() + kCloseWaitMs;
      while (::IsWindow(search.found) && ::GetTickCount64() < closed_by) ::Sleep(kPollMs);
      return seen;
    }
    if (::GetTickCount64() >= deadline) return std::nullopt;
    ::Sleep(kPollMs);
  }
}

DialogRunResult RunAnsweringMessageBoxes(std::wstring_view command_line, std::wstring_view caption, DWORD timeout_ms) {
  return RunAllAnsweringMessageBoxes({std::wstring(command_line)}, caption, timeout_ms).front();
}

std::vector<DialogRunResult> RunAllAnsweringMessageBoxes(const std::vector<std::wstring>& command_lines,
                                                         std::wstring_view caption, DWORD timeout_ms) {
  std::vector<DialogRunResult> results(command_lines.size());
  std::vector<ChildProcess> processes(command_lines.size());
  std::vector<bool> ended(command_lines.size(), true);
  std::size_t running = 0;
  for (std::size_t i = 0; i < command_lines.size(); ++i) {
    results[i].process.started = processes[i].Start(command_lines[i]);
    if (!results[i].process.started) continue;
    ended[i] = false;
    ++running;
  }
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  while (running > 0) {
    for (std::size_t i = 0; i < processes.size(); ++i) {
      if (ended[i]) continue;
      if (auto seen = AnswerMessageBox(caption, processes[i].id(), 0)) results[i].boxes.push_back(std::move(*seen));
      if (const auto exit_code = processes[i].Wait(0)) {
        results[i].process.exit_code = *exit_code;
        ended[i] = true;
        --running;
      }
    }
    if (running == 0) break;
    if (::GetTickCount64() >= deadline) {
      for (std::size_t i = 0; i < processes.size(); ++i) {
        if (ended[i]) continue;
        results[i].process.timed_out = true;
        processes[i].Terminate();
      }
      break;
    }
    ::Sleep(kPollMs);
  }
  return results;
}

}  // namespace test_support
