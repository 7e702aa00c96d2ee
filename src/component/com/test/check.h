// A tiny check framework for the Wine test client (no gtest on Windows).
//
// CHECK-style macros count passes and failures and print each failure with
// its place; Summary() prints the closing line "N passed, N failed" that the
// test script looks for and gives the process exit code.
#ifndef KESTLE_COMPONENT_COM_TEST_CHECK_H_
#define KESTLE_COMPONENT_COM_TEST_CHECK_H_

#include <cstdio>
#include <sstream>
#include <string>

namespace kestle::com::test {

struct Tally {
  int passed = 0;
  int failed = 0;
  const char* group = "";
};

inline Tally& Counts() {
  static Tally tally;
  return tally;
}

// Starts a named group of checks (printed with every failure inside it).
inline void Group(const char* name) {
  Counts().group = name;
  std::printf("-- %s\n", name);
  std::fflush(stdout);
}

inline bool Record(bool ok, const char* file, int line, const std::string& what) {
  if (ok) {
    ++Counts().passed;
  } else {
    ++Counts().failed;
    std::printf("FAILED [%s] %s:%d: %s\n", Counts().group, file, line, what.c_str());
    std::fflush(stdout);
  }
  return ok;
}

template <class T>
std::string Show(const T& value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

// Prints "N passed, N failed" and returns the exit code (1 on any failure).
inline int Summary() {
  std::printf("%d passed, %d failed\n", Counts().passed, Counts().failed);
  std::fflush(stdout);
  return Counts().failed == 0 ? 0 : 1;
}

}  // namespace kestle::com::test

#define CHECK(cond) ::kestle::com::test::Record((cond), __FILE__, __LINE__, #cond)

#define CHECK_EQ(actual, expected)                                                          \
  [&] {                                                                                     \
    const auto& a_ = (actual);                                                              \
    const auto& e_ = (expected);                                                            \
    return ::kestle::com::test::Record(a_ == e_, __FILE__, __LINE__,                        \
                                       std::string(#actual " == " #expected ": got <") +    \
                                           ::kestle::com::test::Show(a_) + "> expected <" + \
                                           ::kestle::com::test::Show(e_) + ">");            \
  }()

// An HRESULT check that prints both codes in hex.
#define CHECK_HR(expr, expected)                                                                 \
  [&] {                                                                                          \
    const long a_ = static_cast<long>(expr);                                                     \
    const long e_ = static_cast<long>(expected);                                                 \
    char buf_[64];                                                                               \
    std::snprintf(buf_, sizeof buf_, ": got 0x%08lX expected 0x%08lX",                           \
                  static_cast<unsigned long>(a_), static_cast<unsigned long>(e_));               \
    return ::kestle::com::test::Record(a_ == e_, __FILE__, __LINE__, std::string(#expr) + buf_); \
  }()

#endif  // KESTLE_COMPONENT_COM_TEST_CHECK_H_
