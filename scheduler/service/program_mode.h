// Which mode scheduler.exe runs in, chosen from its arguments.
#pragma once

#include <span>
#include <string>

namespace service {

enum class ProgramMode {
  kInstall,    // create the service entry, report success, end
  kUninstall,  // stop and delete the service entry, report success, end
  kAgent,      // the per-session agent
  kService,    // the Windows service, under the service control manager
};

// Walks the arguments (the command-line tail split up, no program name) in
// order, comparing each whole argument with the switches without regard to
// case: the first "/install" or "/uninstall" decides at once and later
// arguments are not looked at; otherwise "/user" anywhere asks for the agent;
// otherwise, and for an empty list, the service. Anything else is skipped.
ProgramMode SelectProgramMode(std::span<const std::u16string> arguments);

}  // namespace service
