#pragma once

namespace agent {

// 1 when the configured screen saver owns the full-screen window in front,
// 2 when a borderless window covers the primary screen, 5 otherwise.
int QueryBusyState();

}  // namespace agent
