// Runs a test's body in a child process of its own: for what lives as long as the program does
// (tasks that never end, devices opened once at start), which a test before it in the same
// process would already have started. The child re-runs the test from its start (the death-test
// style "threadsafe"); its failures are printed as usual and make it exit with 1.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace testproc {

template <class Body>
[[noreturn]] void runAndExit(Body& body) {
  body();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(::testing::Test::HasFailure() ? 1 : 0);
}

template <class Body>
void inOwnProcess(Body body) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(runAndExit(body), ::testing::ExitedWithCode(0), "");
}

}  // namespace testproc

// A test whose body runs in a process of its own, from the program's start: TEST_OWN(Suite, Name)
// { body } as TEST would have it.
#define TEST_OWN(suite, name)                                                     \
  void suite##_##name##_OwnBody();                                                \
  TEST(suite, name) { ::testproc::inOwnProcess([] { suite##_##name##_OwnBody(); }); } \
  void suite##_##name##_OwnBody()
