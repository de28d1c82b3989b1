// The eight POSIX thread calls that the 32-bit C++ runtime makes, for the
// 32-bit shipped binaries. On 32-bit x86 the runtime unwinds with DWARF
// tables: the unwinder's frame registry, the exception allocator's emergency
// pool and the per-thread exception records (emulated thread-local storage)
// guard themselves through these calls. The thread library that would answer
// them brings some thirty KiB of threads, condition variables and read-write
// locks along, which nothing here uses. Linked as an object of its own (not
// from a library), so that the linker takes these definitions before it looks
// into the runtime's archives; the 64-bit binaries, which unwind through the
// system's tables, do not link it.
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
constexpr LONG kLocked = 1;
// The once-flag: 0 not begun (the initialiser's value), then busy, then done.
constexpr LONG kOnceBusy = 1;
constexpr LONG kOnceDone = 2;

static_assert(sizeof(std::intptr_t) == sizeof(LONG), "the 32-bit layout: a mutex is one LONG");

volatile LONG* Word(void* object) { return static_cast<volatile LONG*>(object); }

}  // namespace

extern "C" {

int pthread_mutex_init(void* mutex, const void* /*attributes*/) {
  ::InterlockedExchange(Word(mutex), 0);
  return 0;
}

int pthread_mutex_destroy(void* /*mutex*/) { return 0; }

int pthread_mutex_lock(void* mutex) {
  for (;;) {
    const LONG seen = *Word(mutex);
    if (seen != kLocked && ::InterlockedCompareExchange(Word(mutex), kLocked, seen) == seen) return 0;
    ::SwitchToThread();
  }
}

int pthread_mutex_unlock(void* mutex) {
  ::InterlockedExchange(Word(mutex), 0);
  return 0;
}

int pthread_once(void* once, void (*initialise)()) {
  for (;;) {
    const LONG seen = ::InterlockedCompareExchange(Word(once), kOnceBusy, 0);
    if (seen == 0) {
      initialise();
      ::InterlockedExchange(Word(once), kOnceDone);
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
