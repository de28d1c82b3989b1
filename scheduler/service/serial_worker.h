// One thread that runs the tasks handed to it one at a time, in the order
// they came. The service's control handler gives it the work of a logon, so
// that the handler returns to the service control manager at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace service {

class SerialWorker {
 public:
  SerialWorker() = default;
  SerialWorker(const SerialWorker&) = delete;
  SerialWorker& operator=(const SerialWorker&) = delete;
  // Waits for the task in hand and drops those not yet begun.
  ~SerialWorker();

  // Queues `task` and returns at once. The thread starts with the first task.
  // False when the thread could not be started; the task is then dropped.
  bool Post(std::function<void()> task);

  // Waits up to `limit` until every queued task has finished; true when none
  // is left, false when the limit was reached first.
  bool WaitUntilIdle(std::chrono::milliseconds limit);

 private:
  void Run();

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> queue_;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace service
