#include "scheduler/schedule/datetime/clock.h"

namespace datetime {
namespace {

const Clock* installed_clock = nullptr;

}  // namespace

const Clock& ActiveClock() { return installed_clock != nullptr ? *installed_clock : PlatformClock(); }

const Clock* InstallClock(const Clock* clock) {
  const Clock* previous = installed_clock;
  installed_clock = clock;
  return previous;
}

}  // namespace datetime
