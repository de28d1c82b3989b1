// Collects the events reported while it lives, for native tests.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "scheduler/events/scheduler_events.h"

namespace testing_support {

class RecordingEvents final : public events::EventSink {
 public:
  RecordingEvents() { events::SetSink(this); }
  ~RecordingEvents() override { events::SetSink(nullptr); }
  RecordingEvents(const RecordingEvents&) = delete;
  RecordingEvents& operator=(const RecordingEvents&) = delete;

  void Report(const events::Event& event) override {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(event);
  }
  // The codes in the order reported.
  std::vector<int> codes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<int> codes;
    for (const events::Event& event : events_) codes.push_back(static_cast<int>(event.code));
    return codes;
  }
  std::vector<events::Event> all() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<events::Event> events_;
};

}  // namespace testing_support
