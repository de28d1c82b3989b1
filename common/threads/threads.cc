// threads.h for the native build: the standard library's mutex, condition
// variable and thread.
#include "common/threads/threads.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace threads {

struct Mutex::Native {
  std::mutex mutex;
};

Mutex::Mutex() { native_.Emplace<Native>(); }
Mutex::~Mutex() { native_.Destroy<Native>(); }
void Mutex::Lock() { native_.As<Native>().mutex.lock(); }
void Mutex::Unlock() { native_.As<Native>().mutex.unlock(); }

struct ConditionVariable::Native {
  std::condition_variable condition;
};

ConditionVariable::ConditionVariable() { native_.Emplace<Native>(); }
ConditionVariable::~ConditionVariable() { native_.Destroy<Native>(); }

void ConditionVariable::NotifyAll() { native_.As<Native>().condition.notify_all(); }

long long ConditionVariable::NowMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void ConditionVariable::Sleep(Mutex& mutex, long long milliseconds) {
  std::condition_variable& condition = native_.As<Native>().condition;
  std::unique_lock<std::mutex> held(mutex.native_.As<Mutex::Native>().mutex, std::adopt_lock);
  if (milliseconds == kForever) {
    condition.wait(held);
  } else {
    condition.wait_for(held, std::chrono::milliseconds(milliseconds));
  }
  held.release();
}

struct Thread::Native {
  std::thread thread;
};

Thread::Thread() { native_.Emplace<Native>(); }

Thread::~Thread() {
  Join();
  native_.Destroy<Native>();
}

bool Thread::Begin() {
  try {
    native_.As<Native>().thread = std::thread(&Thread::Run, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

bool Thread::Started() const { return native_.As<Native>().thread.joinable(); }

void Thread::Join() {
  std::thread& thread = native_.As<Native>().thread;
  if (thread.joinable()) thread.join();
}

}  // namespace threads
