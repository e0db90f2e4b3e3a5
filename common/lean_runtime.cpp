// The C++ runtime's failure paths, as the shipped programs have them.
//
// The programs use no exceptions: a failure is a return value. The standard
// library still has paths that would throw (a string or vector past its
// maximum size, an allocation the heap refuses), and by default they pull in
// the whole exception machinery, the old-ABI string and its exception
// classes, and the verbose terminate handler with its name demangler and
// printf: about 150 KB of a 390 KB program, none of it ever used.
//
// Here each of those paths ends the program at once, as an exception that
// nothing catches would have ended it (abort, exit code 3), and the linker
// keeps none of the rest. The library's own definitions of these functions
// sit in archive members that are then never pulled in, so a name missing
// here shows up as a duplicate definition at link time, not as a silent
// difference.
#include <cstddef>
#include <cstdlib>
#include <new>

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx

// clang-format off
namespace std {
[[noreturn]] void __throw_bad_alloc() { std::abort(); }
[[noreturn]] void __throw_bad_array_new_length() { std::abort(); }
[[noreturn]] void __throw_bad_cast() { std::abort(); }
[[noreturn]] void __throw_bad_exception() { std::abort(); }
[[noreturn]] void __throw_bad_typeid() { std::abort(); }
[[noreturn]] void __throw_domain_error(const char*) { std::abort(); }
[[noreturn]] void __throw_invalid_argument(const char*) { std::abort(); }
[[noreturn]] void __throw_length_error(const char*) { std::abort(); }
[[noreturn]] void __throw_logic_error(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
[[noreturn]] void __throw_overflow_error(const char*) { std::abort(); }
[[noreturn]] void __throw_range_error(const char*) { std::abort(); }
[[noreturn]] void __throw_runtime_error(const char*) { std::abort(); }
[[noreturn]] void __throw_underflow_error(const char*) { std::abort(); }
} // namespace std
// clang-format on

// The library's operator new throws std::bad_alloc when the heap is out of
// memory; ours ends the program there instead. Callers never see a null.
void* operator new(std::size_t size) {
    if (void* block = std::malloc(size ? size : 1)) {
        return block;
    }
    std::abort();
}

// clang-format off
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
// clang-format on
