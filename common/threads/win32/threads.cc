// threads.h on Windows: the system's slim reader/writer lock and condition
// variable, and a C runtime thread, so that the programs carry none of the
// C++ threading runtime.
#include "common/threads/threads.h"

#include <windows.h>
#include <process.h>

#include "common/win32/scoped_handle.h"

namespace threads {

// An unlocked slim lock with no waiter is in its initial state and needs no
// destruction; so does an idle condition variable.
struct Mutex::Native {
  SRWLOCK lock = SRWLOCK_INIT;
};

Mutex::Mutex() { native_.Emplace<Native>(); }
Mutex::~Mutex() { native_.Destroy<Native>(); }
void Mutex::Lock() { ::AcquireSRWLockExclusive(&native_.As<Native>().lock); }
void Mutex::Unlock() { ::ReleaseSRWLockExclusive(&native_.As<Native>().lock); }

struct ConditionVariable::Native {
  CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;
};

ConditionVariable::ConditionVariable() { native_.Emplace<Native>(); }
ConditionVariable::~ConditionVariable() { native_.Destroy<Native>(); }

void ConditionVariable::NotifyAll() { ::WakeAllConditionVariable(&native_.As<Native>().condition); }

long long ConditionVariable::NowMilliseconds() { return static_cast<long long>(::GetTickCount64()); }

// A time-out and a spurious wake alike return to the caller's loop, which
// tests its predicate again.
void ConditionVariable::Sleep(Mutex& mutex, long long milliseconds) {
  ::SleepConditionVariableSRW(&native_.As<Native>().condition, &mutex.native_.As<Mutex::Native>().lock,
                              static_cast<DWORD>(milliseconds), 0);
}

struct Thread::Native {
  static unsigned __stdcall Main(void* self) {
    static_cast<const Thread*>(self)->Run();
    return 0;
  }
  win32::ScopedHandle handle;
};

Thread::Thread() { native_.Emplace<Native>(); }

Thread::~Thread() {
  Join();
  native_.Destroy<Native>();
}

bool Thread::Begin() {
  // _beginthreadex, not CreateThread, so that the C runtime sets up and frees
  // the thread's own data; it answers 0 on failure.
  const uintptr_t handle = ::_beginthreadex(nullptr, 0, &Native::Main, this, 0, nullptr);
  native_.As<Native>().handle.reset(reinterpret_cast<HANDLE>(handle));
  return Started();
}

bool Thread::Started() const { return static_cast<bool>(native_.As<Native>().handle); }

void Thread::Join() {
  win32::ScopedHandle& handle = native_.As<Native>().handle;
  if (!handle) return;
  ::WaitForSingleObject(handle.get(), INFINITE);
  handle.reset();
}

}  // namespace threads
