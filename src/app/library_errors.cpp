// What the standard library throws inside SetUp.exe when it is misused: the functions through which
// libstdc++ raises its errors, defined here for SetUp.exe alone.
//
// libstdc++ keeps all of these functions in one archive member, and with them the std::logic_error
// family, which keeps its message in the old reference-counted std::string. Linking any one of
// them (every std::string and std::vector refers to a few) brings in that string's whole explicit
// instantiation, with the std::random_device members compiled beside it; binutils keeps every
// function that has an unwind entry, so none of it is dropped. Defined here, that member and
// everything behind it stay out of SetUp.exe: about 30 KB.
//
// The errors are the library's reports of a program fault (a string or vector asked to outgrow
// max_size(), a position past the end, a string made from a null pointer); a working SetUp.exe
// never raises them. They are thrown as exceptions derived from std::exception, as before, and
// SetUp.exe catches none of them by their own type: the dialog framework reports one escaping a
// handler as E_FAIL, as it did, and elsewhere one still ends the program. Memory errors keep their
// standard types, which the registry adapter and the dialog framework catch by name.
//
// Only the functions SetUp.exe refers to are defined. Should new code need another one (a
// std::stoi, say), or use std::logic_error or one of its kind, libstdc++'s member comes back, its
// definitions are linked in place of these, and SetUp.exe is some 30 KB larger again
// (scripts/check-size.sh shows it): define the new one here as well.
#include <exception>
#include <new>

namespace {

class LibraryError final : public std::exception {
 public:
  // `what` is the library's literal text.
  explicit LibraryError(const char* what) noexcept : m_what(what) {}
  const char* what() const noexcept override { return m_what; }

 private:
  const char* m_what;
};

}  // namespace

// Declared by libstdc++ (<bits/functexcept.h>), so the compiler holds each to its declaration.
// NOLINTBEGIN(cert-dcl58-cpp, bugprone-reserved-identifier): definitions of functions libstdc++
// declares, under its names; nothing is added to std.
namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }

void __throw_bad_array_new_length() { throw bad_array_new_length(); }

void __throw_length_error(const char* what) { throw LibraryError(what); }

void __throw_logic_error(const char* what) { throw LibraryError(what); }

// The message keeps its format, unfilled: nothing in SetUp.exe shows it.
// NOLINTNEXTLINE(cert-dcl50-cpp): the library declares it variadic; the arguments are not read.
void __throw_out_of_range_fmt(const char* format, ...) { throw LibraryError(format); }

}  // namespace std
// NOLINTEND(cert-dcl58-cpp, bugprone-reserved-identifier)
