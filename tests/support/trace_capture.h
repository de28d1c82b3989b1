// Collects the trace lines written while it lives, for native tests.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/trace/trace.h"

namespace test_support {

class TraceCapture {
 public:
  TraceCapture() { trace::SetSink(&Collect); }
  ~TraceCapture() {
    trace::SetSink(nullptr);
    std::lock_guard<std::mutex> lock(Mutex());
    Lines().clear();
  }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> lock(Mutex());
    return Lines();
  }

 private:
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  static std::vector<std::string>& Lines() {
    static std::vector<std::string> lines;
    return lines;
  }
  static void Collect(std::string_view line) {
    std::lock_guard<std::mutex> lock(Mutex());
    Lines().emplace_back(line);
  }
};

}  // namespace test_support
