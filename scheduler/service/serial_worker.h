// One thread that runs the tasks handed to it one at a time, in the order
// they came. The service's control handler gives it the work of a logon, so
// that the handler returns to the service control manager at once.
#pragma once

#include <chrono>
#include <deque>
#include <functional>

#include "common/threads/threads.h"

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
  static void RunThread(void* self);
  void Run();

  threads::Mutex lock_;
  threads::ConditionVariable changed_;
  std::deque<std::function<void()>> queue_;
  bool busy_ = false;
  bool stopping_ = false;
  threads::Thread thread_;
};

}  // namespace service
