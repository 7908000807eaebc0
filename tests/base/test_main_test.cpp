// The shared test main: a test that ends the process while it runs fails the run instead of
// passing with every later test unrun.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/run_program.h"

namespace {
constexpr char kChildVariable[] = "QL_TEST_EXIT_MID_TEST";

TEST(TestMain, ExitDuringATestFailsTheRun) {
  // The child half: the same test run again in a child process, ending the process half-way.
  if (const char* status = getenv(kChildVariable)) exit(atoi(status));

  for (const char* status : {"0", "3"}) {
    SCOPED_TRACE(status);
    const ProgramResult r =
        run_program("/proc/self/exe", {"--gtest_filter=TestMain.ExitDuringATestFailsTheRun"},
                    {{kChildVariable, status}}, 60000);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 1);
  }
}
}  // namespace
