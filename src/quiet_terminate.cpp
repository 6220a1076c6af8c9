// The program's end when an exception escapes or std::terminate is called: abort at once, as
// libstdc++'s default handler does after it has printed the exception's type to stderr. A
// windowed program has no stderr to print to, and that printing brings the whole C++ name
// demangler into the program: some 70 KiB. libstdc++ declares this handler in <exception> and
// takes ours when the program defines it, so its own, with the demangler, stays out of the link.
#include <cstdlib>
#include <exception>

#if defined(__GLIBCXX__)
// NOLINTBEGIN(readability-identifier-naming,bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx
// NOLINTEND(readability-identifier-naming,bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
#endif
