#include "scheduler/service/serial_worker.h"

namespace service {

SerialWorker::~SerialWorker() {
  {
    threads::Lock guard(lock_);
    stopping_ = true;
    queue_.clear();
    changed_.NotifyAll();
  }
  thread_.Join();
}

bool SerialWorker::Post(std::function<void()> task) {
  threads::Lock guard(lock_);
  if (!thread_.Started() && !thread_.Start(&SerialWorker::RunThread, this)) return false;
  queue_.push_back(std::move(task));
  changed_.NotifyAll();
  return true;
}

bool SerialWorker::WaitUntilIdle(std::chrono::milliseconds limit) {
  threads::Lock guard(lock_);
  return changed_.WaitFor(guard, limit, [this] { return queue_.empty() && !busy_; });
}

void SerialWorker::RunThread(void* self) { static_cast<SerialWorker*>(self)->Run(); }

void SerialWorker::Run() {
  threads::Lock guard(lock_);
  for (;;) {
    changed_.Wait(guard, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) break;
    std::function<void()> task = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    guard.Unlock();
    task();
    guard.Relock();
    busy_ = false;
    changed_.NotifyAll();
  }
}

}  // namespace service
