// A schedule timer that records every time it is armed for, for tests.
#pragma once

#include <cstdint>
#include <vector>

#include "scheduler/schedule/schedule.h"

namespace test_support {

class RecordingTimer final : public schedule::WaitableTimer {
 public:
  bool ArmAt(std::int64_t utc_ticks) override {
    armed_.push_back(utc_ticks);
    return true;
  }
  std::vector<std::int64_t> armed_;
};

}  // namespace test_support
