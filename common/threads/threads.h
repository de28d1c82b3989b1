// A lock, a condition variable and a joinable thread for code that builds on
// both sides. On Windows they are the system's slim reader/writer lock,
// condition variable and a C runtime thread, so that the programs carry none
// of the C++ threading runtime; elsewhere they wrap the standard library's.
#pragma once

#include <chrono>

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#else
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#endif

namespace threads {

// Not recursive; never moved while in use.
class Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

#ifdef _WIN32
  void Lock() { ::AcquireSRWLockExclusive(&lock_); }
  void Unlock() { ::ReleaseSRWLockExclusive(&lock_); }

 private:
  friend class ConditionVariable;
  SRWLOCK lock_ = SRWLOCK_INIT;
#else
  void Lock() { mutex_.lock(); }
  void Unlock() { mutex_.unlock(); }

 private:
  friend class ConditionVariable;
  std::mutex mutex_;
#endif
};

// Holds a Mutex for its scope; Unlock and Lock let a caller step out for a
// while and come back before the scope ends.
class Lock {
 public:
  explicit Lock(Mutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~Lock() {
    if (held_) mutex_.Unlock();
  }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Unlock() {
    mutex_.Unlock();
    held_ = false;
  }
  void Relock() {
    mutex_.Lock();
    held_ = true;
  }
  Mutex& mutex() { return mutex_; }

 private:
  Mutex& mutex_;
  bool held_ = true;
};

class ConditionVariable {
 public:
  ConditionVariable() = default;
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;

  void NotifyAll() {
#ifdef _WIN32
    ::WakeAllConditionVariable(&condition_);
#else
    condition_.notify_all();
#endif
  }

  // Waits, with `lock` held, until `done()` is true.
  template <typename Predicate>
  void Wait(Lock& lock, Predicate done) {
    while (!done()) Sleep(lock.mutex(), kForever);
  }

  // Waits, with `lock` held, until `done()` is true or `limit` has passed;
  // returns the last value of `done()`.
  template <typename Predicate>
  bool WaitFor(Lock& lock, std::chrono::milliseconds limit, Predicate done) {
    const long long deadline = NowMilliseconds() + limit.count();
    while (!done()) {
      const long long left = deadline - NowMilliseconds();
      if (left <= 0) return done();
      Sleep(lock.mutex(), left < kForever ? left : kForever - 1);
    }
    return true;
  }

 private:
  static constexpr long long kForever = 0xFFFFFFFF;  // INFINITE

  // A monotonic clock in milliseconds.
  static long long NowMilliseconds() {
#ifdef _WIN32
    return static_cast<long long>(::GetTickCount64());
#else
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
#endif
  }

  // One sleep, woken by NotifyAll, by the time or spuriously.
  void Sleep(Mutex& mutex, long long milliseconds) {
#ifdef _WIN32
    ::SleepConditionVariableSRW(&condition_, &mutex.lock_, static_cast<DWORD>(milliseconds), 0);
#else
    std::unique_lock<std::mutex> held(mutex.mutex_, std::adopt_lock);
    if (milliseconds == kForever) {
      condition_.wait(held);
    } else {
      condition_.wait_for(held, std::chrono::milliseconds(milliseconds));
    }
    held.release();
#endif
  }

#ifdef _WIN32
  CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
#else
  std::condition_variable condition_;
#endif
};

// One thread running `entry(argument)`, joined by Join or at destruction.
class Thread {
 public:
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread() { Join(); }

  // False when the thread could not be started.
  bool Start(void (*entry)(void*), void* argument) {
    entry_ = entry;
    argument_ = argument;
#ifdef _WIN32
    handle_ = reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &Run, this, 0, nullptr));
    return handle_ != nullptr;
#else
    try {
      thread_ = std::thread(entry, argument);
    } catch (const std::system_error&) {
      return false;
    }
    return true;
#endif
  }

  bool Started() const {
#ifdef _WIN32
    return handle_ != nullptr;
#else
    return thread_.joinable();
#endif
  }

  void Join() {
#ifdef _WIN32
    if (handle_ == nullptr) return;
    ::WaitForSingleObject(handle_, INFINITE);
    ::CloseHandle(handle_);
    handle_ = nullptr;
#else
    if (thread_.joinable()) thread_.join();
#endif
  }

 private:
  void (*entry_)(void*) = nullptr;
  void* argument_ = nullptr;
#ifdef _WIN32
  static unsigned __stdcall Run(void* self) {
    const Thread* thread = static_cast<const Thread*>(self);
    thread->entry_(thread->argument_);
    return 0;
  }
  HANDLE handle_ = nullptr;
#else
  std::thread thread_;
#endif
};

}  // namespace threads
