// The main of every test program. A test that ends the process (a screen's quit path calls exit)
// would otherwise end the run with status 0, and every test after it would silently not run; the
// exit check turns that into a failure naming the test.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
std::atomic<const testing::TestInfo*> running{nullptr};

class RunningTest : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo& info) override { running.store(&info); }
  void OnTestEnd(const testing::TestInfo&) override { running.store(nullptr); }
};

// A death test's child is expected to exit; any other exit during a test is the fault.
void fail_exit_during_test() {
  const testing::TestInfo* info = running.load();
  if (!info || testing::internal::InDeathTestChild()) return;
  fprintf(stderr, "\n[  FAILED  ] %s.%s: the process exited while the test was running\n",
          info->test_suite_name(), info->name());
  fflush(stderr);
  _exit(1);
}
}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new RunningTest);
  atexit(fail_exit_during_test);
  return RUN_ALL_TESTS();
}
