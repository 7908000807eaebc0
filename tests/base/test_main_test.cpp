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

#if defined(__SANITIZE_ADDRESS__)
namespace {
constexpr char kLeakVariable[] = "QL_TEST_LEAK_IN_CHILD";
void* volatile leaked;  // the child's allocation, dropped on purpose

// A session test sees why the program it started failed: the sanitizer's report, which the
// program would otherwise append to the log inside the data folder the test removes, is printed.
TEST(TestMain, AChildsSanitizerReportIsPrinted) {
  if (getenv(kLeakVariable)) {
    leaked = malloc(77);
    leaked = nullptr;
    return;
  }
  testing::internal::CaptureStderr();
  const ProgramResult r = run_program(
      "/proc/self/exe", {"--gtest_filter=TestMain.AChildsSanitizerReportIsPrinted"},
      {{kLeakVariable, "1"}, {"LSAN_OPTIONS", ""}}, 60000);
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_NE(r.status, 0);
  EXPECT_NE(printed.find("Sanitizer report of process"), std::string::npos) << printed;
  EXPECT_NE(printed.find("77 byte(s)"), std::string::npos) << printed;
}
}  // namespace
#endif
