#include "scheduler/service/serial_worker.h"

#include <system_error>

namespace service {

SerialWorker::~SerialWorker() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
    queue_.clear();
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

bool SerialWorker::Post(std::function<void()> task) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread(&SerialWorker::Run, this);
    } catch (const std::system_error&) {
      return false;
    }
  }
  queue_.push_back(std::move(task));
  changed_.notify_all();
  return true;
}

bool SerialWorker::WaitUntilIdle(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> guard(lock_);
  return changed_.wait_for(guard, limit, [this] { return queue_.empty() && !busy_; });
}

void SerialWorker::Run() {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    changed_.wait(guard, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) break;
    std::function<void()> task = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    guard.unlock();
    task();
    guard.lock();
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace service
