// Three pieces of the C++ runtime, replaced in the shipped binaries by lighter
// ones of the same behaviour for this code. Linked as an object of their own
// (not from a library), so that the linker takes these definitions before it
// looks into the runtime's archives.
#include <windows.h>

#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

// The terminate handler. The runtime's own names the uncaught exception's type
// on stderr, which neither a service, nor an agent without a console, nor a
// library inside the shell has, and it brings the whole symbol demangler along
// for that. This one ends the process the way the runtime's does after its
// message.
namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

// The guards of function-local statics. The runtime's go through the POSIX
// thread layer (a once-flag, a mutex and a condition variable), which would be
// the only users of that layer here. The guard is 64 bits; the compiled code
// tests its first byte and calls in only while that byte is 0. Its first 32
// bits hold the state: 0 not begun, kDone once initialised (first byte 1), and
// kBusy while one thread runs the initialiser. A thread that finds another one
// initialising yields until it is done; initialisers here are short.
namespace {

constexpr LONG kDone = 1;
constexpr LONG kBusy = 0x100;

volatile LONG* State(void* guard) { return static_cast<volatile LONG*>(guard); }

}  // namespace

extern "C" int __cxa_guard_acquire(void* guard) {
  for (;;) {
    const LONG seen = ::InterlockedCompareExchange(State(guard), kBusy, 0);
    if (seen == 0) return 1;      // this thread runs the initialiser
    if (seen == kDone) return 0;  // done meanwhile
    ::SwitchToThread();
  }
}

extern "C" void __cxa_guard_release(void* guard) { ::InterlockedExchange(State(guard), kDone); }

// The initialiser threw: the next caller tries again.
extern "C" void __cxa_guard_abort(void* guard) { ::InterlockedExchange(State(guard), 0); }

// The library's own error throws. The runtime's build each error's message
// into its reference-counted string class, which brings in that class and,
// through it, most of the library's string code. The containers here raise
// them only for a size beyond what can be allocated, which the code answers
// as out of memory, or for an index out of range, which is a fault of the
// program: the first throws std::bad_alloc, the others end the process the
// way an uncaught exception would. The light ones keep their types.
namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_bad_exception() { throw bad_exception(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_domain_error(const char*) { std::abort(); }
void __throw_invalid_argument(const char*) { std::abort(); }
void __throw_out_of_range(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_runtime_error(const char*) { std::abort(); }
void __throw_range_error(const char*) { std::abort(); }
void __throw_overflow_error(const char*) { std::abort(); }
void __throw_underflow_error(const char*) { std::abort(); }

}  // namespace std
