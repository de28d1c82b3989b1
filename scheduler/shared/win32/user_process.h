// Creating a process as the user of a token, in that user's session.
#pragma once

#include <windows.h>

#include <string>

namespace shared {

// Creates `command_line` under `token` on the desktop "winsta0\Default" with
// `base_flags`, as process_creation.h plans it: no handle is inherited, and
// the process gets the user's environment where the block can be built from
// the token (else the caller's). On success `process` holds the new process
// and thread, which the caller closes; on failure GetLastError tells why.
bool CreateUserProcess(HANDLE token, const std::u16string& command_line, DWORD base_flags,
                       PROCESS_INFORMATION& process);

}  // namespace shared
