// The scheduler's events in the Windows Event Log: the sink that writes them
// to the Application log, and the source's registration that lets Event
// Viewer show their text from the message table inside scheduler.exe.
#pragma once

#include "scheduler/events/scheduler_events.h"

namespace events {

// Writes each event with ReportEventW through a source handle of its own
// (RegisterEventSourceW, then DeregisterEventSource): events are few, any
// thread may report, and no handle outlives an Event Log service restart. A
// failure drops the event and nothing else.
EventSink& EventLogSink();

// Creates the source's key (kSourceKeyPath under HKLM) with EventMessageFile (REG_EXPAND_SZ, this
// program's full path) and TypesSupported (REG_DWORD 7). True when both are written.
bool RegisterEventSourceKey();

// Deletes that key; true when it is gone or was never there.
bool RemoveEventSourceKey();

}  // namespace events
