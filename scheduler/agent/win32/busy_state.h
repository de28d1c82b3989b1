// The busy state of this session's desktop, judged from the window in front.
#pragma once

#include "scheduler/agent/busy_state.h"

namespace agent {

// kNotPresent when the configured screen saver owns the full-screen window in
// front, kBusy when a borderless window covers the primary screen,
// kAcceptsNotifications otherwise.
BusyState QueryBusyState();

}  // namespace agent
