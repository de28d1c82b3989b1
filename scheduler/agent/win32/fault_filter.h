// The agent's end after a fault that nothing handles (win32 side of
// fault_end.h): a top-level exception filter and an abort handler that ask
// for the service when the agent has run a minute, then end the process at
// once, with no debugger and no error window.
#pragma once

namespace agent {

// Prepares everything the filter needs (the start time, a stack reserve for
// a stack overflow) and installs the filter and the abort handler. Called
// first thing in agent mode, on the agent's one thread.
void InstallFaultFilter();

// The agent's loop has returned: from here on a fault only ends the process.
void EndFaultRecovery();

}  // namespace agent
