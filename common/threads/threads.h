// A lock, a condition variable and a joinable thread for code that builds on
// both sides. Two implementations stand behind this one interface, and the
// build links one of them (the `threads` library): win32/threads.cc uses the
// system's slim reader/writer lock, condition variable and a C runtime thread,
// so that the programs carry none of the C++ threading runtime; threads.cc
// wraps the standard library's for the native build.
#pragma once

#include <chrono>
#include <cstddef>
#include <new>

namespace threads {

// Room inside an object for the platform's own lock, condition or thread, so
// that this header names no platform type. The implementation constructs its
// object in it with Emplace, reaches it with As and destroys it with Destroy.
class NativeStorage {
 public:
  static constexpr std::size_t kBytes = 64;

  template <typename T>
  void Emplace() {
    static_assert(sizeof(T) <= kBytes && alignof(T) <= alignof(std::max_align_t), "no room for the native object");
    new (bytes_) T();
  }
  template <typename T>
  T& As() {
    return *std::launder(reinterpret_cast<T*>(bytes_));
  }
  template <typename T>
  const T& As() const {
    return *std::launder(reinterpret_cast<const T*>(bytes_));
  }
  template <typename T>
  void Destroy() {
    As<T>().~T();
  }

 private:
  alignas(std::max_align_t) std::byte bytes_[kBytes];
};

// Not recursive; never moved while in use.
class Mutex {
 public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock();
  void Unlock();

 private:
  friend class ConditionVariable;
  struct Native;
  NativeStorage native_;
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
  ConditionVariable();
  ~ConditionVariable();
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;

  void NotifyAll();

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
  static long long NowMilliseconds();

  // One sleep, woken by NotifyAll, by the time or spuriously; kForever has no
  // time limit.
  void Sleep(Mutex& mutex, long long milliseconds);

  struct Native;
  NativeStorage native_;
};

// One thread running `entry(argument)`, joined by Join or at destruction.
class Thread {
 public:
  Thread();
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // False when the thread could not be started.
  bool Start(void (*entry)(void*), void* argument) {
    entry_ = entry;
    argument_ = argument;
    return Begin();
  }
  bool Started() const;
  void Join();

 private:
  struct Native;
  // Starts the platform's thread, which calls Run.
  bool Begin();
  void Run() const { entry_(argument_); }

  void (*entry_)(void*) = nullptr;
  void* argument_ = nullptr;
  NativeStorage native_;
};

}  // namespace threads
