// The two long-running modes of scheduler.exe. The program entry
// (program_entry.cc) chooses the mode and calls one of these; each returns
// when its mode is over, and the process then ends with exit code 0.
#pragma once

namespace program {

// "/user": the per-session agent, or in start-up mode the scan of a logon
// (see RunUserMode in program_mode.h). Defined in agent_mode.cc.
void RunAgentMode();

// No switch: the Windows service, inside the service control dispatcher.
// Defined in service_mode.cc.
void RunServiceMode();

}  // namespace program
