#include "common/win32/module_path.h"

namespace win32 {

DWORD ModuleFileName(HMODULE module, wchar_t* path, DWORD capacity, DWORD& length) {
  length = ::GetModuleFileNameW(module, path, capacity);
  if (length == 0) {
    const DWORD error = ::GetLastError();
    path[0] = L'\0';
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
  }
  // A path that fills the buffer was cut short.
  if (length >= capacity) {
    path[0] = L'\0';
    length = 0;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  return ERROR_SUCCESS;
}

}  // namespace win32
