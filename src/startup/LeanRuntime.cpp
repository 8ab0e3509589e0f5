// Lean stand-ins for pieces of the statically linked C++ runtime.
//
// The linker keeps every function of a runtime object file that it pulls
// in, because the unwind tables of those functions are always kept. The
// default terminate handler pulls in the symbol demangler and the C
// formatter; the library's std::__throw_* helpers pull in the narrow and
// the reference-counted string classes with all their members; the
// per-thread exception globals pull in emulated thread-local storage and
// with it most of the POSIX-threads layer, which the 32-bit unwinder also
// reaches through pthread_once. Defining the symbols here keeps those
// object files out: more than half of the program.
//
// Behaviour stays as it was where it can be seen: an exception that nothing
// catches still ends the program through abort() (the default handler only
// adds a message on a console this program does not have), and a failed
// allocation still raises std::bad_alloc. The remaining helpers report
// conditions that our code never creates (a string longer than max_size(),
// a position past the end); they raise an error that carries the library's
// own message, so the application's default handling shows that text as it
// would have.
#include <cstdlib>
#include <exception>
#include <new>

namespace {

class RuntimeError : public std::exception {
  public:
    explicit RuntimeError(const char* message) : message_(message) {}
    const char* what() const noexcept override { return message_; }

  private:
    const char* message_;
};

} // namespace

// The exception-handling globals of the C++ ABI: the caught exceptions and
// the count of uncaught ones. The library keeps a copy per thread; the
// program has a single thread, so one copy does.
namespace {
struct EhGlobals {
    void* caughtExceptions;
    unsigned int uncaughtExceptions;
};
EhGlobals ehGlobals;
} // namespace

extern "C" {
void* __cxa_get_globals() noexcept { return &ehGlobals; }
void* __cxa_get_globals_fast() noexcept { return &ehGlobals; }

// With one thread, "once" is a flag (the threads layer's once type is a
// long that starts at 0).
int pthread_once(long* once, void (*init)(void)) {
    if (*once == 0) {
        *once = 1;
        init();
    }
    return 0;
}
}

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
} // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_length_error(const char* message) { throw RuntimeError(message); }
void __throw_logic_error(const char* message) { throw RuntimeError(message); }
void __throw_out_of_range(const char* message) { throw RuntimeError(message); }
// The format's arguments (the positions involved) are left out.
void __throw_out_of_range_fmt(const char* format, ...) { throw RuntimeError(format); }
void __throw_invalid_argument(const char* message) { throw RuntimeError(message); }
} // namespace std
