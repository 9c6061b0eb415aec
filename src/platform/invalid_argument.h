// The exception for an argument that must not be given: the dialog framework reports it with the
// system's text for E_INVALIDARG, as the class library reports its invalid-argument exception.
#pragma once
#include <exception>

namespace platform {

// Not std::invalid_argument: the std::logic_error family keeps its message in libstdc++'s old
// reference-counted string, and SetUp.exe would carry that string's whole explicit instantiation
// (about 30 KB with what comes along) for this one exception. Derived from std::exception alone,
// it is still caught by a handler of std::exception.
class InvalidArgument final : public std::exception {
 public:
  // `what` must outlive the exception: a string literal.
  explicit InvalidArgument(const char* what) noexcept : m_what(what) {}
  const char* what() const noexcept override { return m_what; }

 private:
  const char* m_what;
};

}  // namespace platform
