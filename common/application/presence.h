// Whether the application runs, judged from an attempt to open its presence
// event. Both deliverables ask this, each for its own event name.
#pragma once

namespace application {

// How an open of a presence event for EVENT_MODIFY_STATE ended.
enum class PresenceOpen {
  kOpened,        // the event exists and was opened
  kAccessDenied,  // an object of that name exists, but refuses that access
  kNotFound,      // no object of that name
  kFailed,        // any other failure
};

// The application runs when its event could be opened, and also when the
// open was refused: access is checked only against an object that was found.
// An application started elevated labels its event with high integrity, and
// a caller at medium integrity (Explorer) may not open it for writing; it
// runs all the same and must not be started a second time. Any other failure
// says nothing of the application, which then counts as not running.
constexpr bool ApplicationRuns(PresenceOpen open) {
  return open == PresenceOpen::kOpened || open == PresenceOpen::kAccessDenied;
}

}  // namespace application
