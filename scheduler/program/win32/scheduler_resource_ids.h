// Resource ids of scheduler.exe, shared by the resource script and the code.
#pragma once

// The messages of /install and /uninstall, in every language of
// languages/*.toml (made into scheduler_strings.rc2).
#define IDS_SERVICE_INSTALLED 100
#define IDS_SERVICE_UNINSTALLED 101
