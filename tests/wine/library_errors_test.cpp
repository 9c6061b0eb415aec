// SetUp.exe's own definitions of libstdc++'s error functions (src/app/library_errors.cpp), linked
// as in SetUp.exe: every misuse still throws; a memory error keeps its standard type, which the
// registry adapter catches by name; any other is a std::exception, which the dialog framework
// catches. Run under Wine by scripts/wine-contract.sh.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

enum class Caught { Nothing, BadAlloc, Exception };

template <class Misuse>
Caught Run(Misuse misuse) {
  try {
    misuse();
  } catch (const std::bad_alloc&) {
    return Caught::BadAlloc;
  } catch (const std::exception& e) {
    return e.what() != nullptr && *e.what() != '\0' ? Caught::Exception : Caught::Nothing;
  }
  return Caught::Nothing;
}

// Sizes the optimiser cannot see through.
volatile std::size_t g_three = 3;
const char* volatile g_null = nullptr;

}  // namespace

int main() {
  using Ints = std::allocator<int>;
  const struct {
    const char* name;
    Caught expected;
    Caught caught;
  } cases[] = {
      {"substr past the end", Caught::Exception, Run([] { (void)std::string("ab").substr(g_three); })},
      {"vector::at past the end", Caught::Exception, Run([] { (void)std::vector<int>(2).at(g_three); })},
      {"string past max_size", Caught::Exception, Run([] { std::string().reserve(std::string().max_size() + g_three); })},
      {"vector past max_size", Caught::Exception, Run([] { std::vector<int>().reserve(std::vector<int>().max_size() + g_three); })},
      {"string from a null pointer", Caught::Exception, Run([] { (void)std::string(g_null); })},
      {"allocation past max_size", Caught::BadAlloc,
       Run([] { (void)Ints().allocate(PTRDIFF_MAX / sizeof(int) + g_three); })},
      {"allocation past the address space", Caught::BadAlloc,
       Run([] { (void)Ints().allocate(SIZE_MAX / sizeof(int) + g_three); })},
  };
  int passed = 0;
  int failed = 0;
  for (const auto& c : cases) {
    const bool ok = c.caught == c.expected;
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", c.name);
    (ok ? passed : failed)++;
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
