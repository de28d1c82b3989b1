// The full path of a loaded module's file (GetModuleFileNameW), with the one
// rule every caller follows for a path longer than its buffer: it is refused
// with ERROR_INSUFFICIENT_BUFFER, never used cut short.
#pragma once

#include <windows.h>

namespace win32 {

// Fills `path` with the file of `module` (null: this process's program) and
// `length` with its characters before the terminator. ERROR_SUCCESS, or the
// error: the last error of a failed call, ERROR_INSUFFICIENT_BUFFER for a
// path that did not fit (then `path` is empty and `length` 0).
DWORD ModuleFileName(HMODULE module, wchar_t* path, DWORD capacity, DWORD& length);

template <DWORD kCapacity>
DWORD ModuleFileName(HMODULE module, wchar_t (&path)[kCapacity], DWORD& length) {
  return ModuleFileName(module, path, kCapacity, length);
}

}  // namespace win32
