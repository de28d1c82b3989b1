// The POSIX thread calls that the C++ runtime makes, for the shipped
// binaries: the exception allocator's emergency pool and the emulated
// thread-local storage (the per-thread exception records) guard themselves
// through them, and on 32-bit x86, which unwinds with DWARF tables, the
// unwinder's frame registry too. The thread library that would answer them
// brings some twenty-five KiB of threads, condition variables and read-write
// locks along, which nothing here uses: the program's own threads and locks
// are the system's (common/threads/win32). Linked as an object of its own
// (not from a library), so that the linker takes these definitions before it
// looks into the runtime's archives.
//
// The runtime uses them as short guards: a lock around a list or a pool, a
// once-flag around a table's set-up, one thread-local slot. A thread that
// finds the lock taken or the set-up running yields until it is free.
#include <windows.h>

#include <cerrno>
#include <cstdint>

namespace {

// The thread library's mutex is one pointer-sized word; its static
// initialiser stores -1, pthread_mutex_init 0. Either means free here.
void* const kLocked = reinterpret_cast<void*>(1);
// The once-flag: 0 not begun (the initialiser's value), then busy, then done.
constexpr LONG kOnceBusy = 1;
constexpr LONG kOnceDone = 2;

static_assert(sizeof(long) == sizeof(LONG), "a once-flag is one LONG");

volatile PVOID* MutexWord(void* mutex) { return static_cast<volatile PVOID*>(mutex); }
volatile LONG* OnceWord(void* once) { return static_cast<volatile LONG*>(once); }

}  // namespace

extern "C" {

int pthread_mutex_init(void* mutex, const void* /*attributes*/) {
  ::InterlockedExchangePointer(MutexWord(mutex), nullptr);
  return 0;
}

int pthread_mutex_destroy(void* /*mutex*/) { return 0; }

int pthread_mutex_lock(void* mutex) {
  for (;;) {
    void* const seen = *MutexWord(mutex);
    if (seen != kLocked && ::InterlockedCompareExchangePointer(MutexWord(mutex), kLocked, seen) == seen) return 0;
    ::SwitchToThread();
  }
}

int pthread_mutex_unlock(void* mutex) {
  ::InterlockedExchangePointer(MutexWord(mutex), nullptr);
  return 0;
}

int pthread_once(void* once, void (*initialise)()) {
  for (;;) {
    const LONG seen = ::InterlockedCompareExchange(OnceWord(once), kOnceBusy, 0);
    if (seen == 0) {
      initialise();
      ::InterlockedExchange(OnceWord(once), kOnceDone);
      return 0;
    }
    if (seen == kOnceDone) return 0;
    ::SwitchToThread();
  }
}

// A thread-local slot of the system's. The destructor is not kept: the runtime
// gives one only for the per-thread exception records, which a thread fills
// only once it throws, and the shipped code throws only when memory runs out;
// such a thread's few bytes of records stay allocated when it ends.
int pthread_key_create(DWORD* key, void (* /*destructor*/)(void*)) {
  const DWORD slot = ::TlsAlloc();
  if (slot == TLS_OUT_OF_INDEXES) return EAGAIN;
  *key = slot;
  return 0;
}

void* pthread_getspecific(DWORD key) {
  // TlsGetValue clears the thread's last error on success; the thread
  // library's own call keeps it, and so does this one.
  const DWORD error = ::GetLastError();
  void* const value = ::TlsGetValue(key);
  ::SetLastError(error);
  return value;
}

int pthread_setspecific(DWORD key, const void* value) {
  return ::TlsSetValue(key, const_cast<void*>(value)) ? 0 : EINVAL;
}

}  // extern "C"
