// Collects the events reported while it lives, for native tests.
#pragma once

#include <mutex>
#include <vector>

#include "scheduler/events/scheduler_events.h"

namespace test_support {

class RecordingEvents final : public events::EventSink {
 public:
  RecordingEvents() { events::SetSink(this); }
  ~RecordingEvents() override { events::SetSink(nullptr); }

  void Report(const events::Event& event) override {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(event);
  }
  std::vector<events::Event> all() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  // The codes in the order reported.
  std::vector<int> codes() const {
    std::vector<int> codes;
    for (const events::Event& event : all()) codes.push_back(static_cast<int>(event.code));
    return codes;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<events::Event> events_;
};

}  // namespace test_support
