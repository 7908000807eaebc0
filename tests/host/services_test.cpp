#include "host/services.h"

#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <pthread.h>
#include <string>
#include <utility>
#include <vector>

#include "host/plat.h"
#include "support/event_ceiling.h"

namespace {
struct Started {
  std::promise<size_t> stack;
  std::atomic<bool> detached{false};
};

void* report_stack(void* arg) {
  auto* s = static_cast<Started*>(arg);
  pthread_attr_t attr;
  size_t bytes = 0;
  int state = PTHREAD_CREATE_JOINABLE;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getstacksize(&attr, &bytes);
    pthread_attr_getdetachstate(&attr, &state);
    pthread_attr_destroy(&attr);
  }
  s->detached = state == PTHREAD_CREATE_DETACHED;
  s->stack.set_value(bytes);
  return nullptr;
}

size_t stack_of_started_thread(bool default_size, size_t bytes, bool* detached) {
  Started s;
  std::future<size_t> got = s.stack.get_future();
  int ok = default_size ? plat_thread(report_stack, &s) : plat_thread_stack(report_stack, &s, bytes);
  EXPECT_EQ(ok, 1);
  if (!ok || got.wait_for(kEventCeiling) != std::future_status::ready) return 0;
  size_t stack = got.get();
  *detached = s.detached;
  return stack;
}
}  // namespace

TEST(HostServices, DesktopRunsNothing) {
  EXPECT_EQ(plat_run("sync; reboot", 900), -1);
  EXPECT_EQ(plat_run(nullptr, 6), -1);
  EXPECT_EQ(plat_battery(), -1);
  EXPECT_EQ(plat_charging(), 0);
  plat_light(12);  // nothing to set on the desktop
}

TEST(HostServices, ReplaceableRunnerSeesEveryLineAndAnswers) {
  std::vector<std::pair<std::string, int>> seen;
  plat_set_runner([&](const char* cmd, int secs) {
    seen.emplace_back(cmd, secs);
    return 7;
  });
  EXPECT_EQ(plat_run("sh /mnt/us/ql/bin/ql-wifi.sh ssids >/tmp/ql-ssids.txt 2>&1", 900), 7);
  EXPECT_EQ(plat_run("true", 6), 7);
  EXPECT_EQ(plat_run(nullptr, 1), 7);
  plat_set_runner(nullptr);
  EXPECT_EQ(plat_run("sync; poweroff", 900), -1);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], (std::pair<std::string, int>{"sh /mnt/us/ql/bin/ql-wifi.sh ssids >/tmp/ql-ssids.txt 2>&1", 900}));
  EXPECT_EQ(seen[1], (std::pair<std::string, int>{"true", 6}));
  EXPECT_EQ(seen[2].first, "");
}

TEST(HostServices, ReplaceableLight) {
  std::vector<int> levels;
  plat_set_light([&](int level) { levels.push_back(level); });
  plat_light(3);
  plat_light(24);
  plat_set_light(nullptr);
  plat_light(5);
  EXPECT_EQ(levels, (std::vector<int>{3, 24}));
}

TEST(HostServices, ThreadsAreDetachedWithTheirStackSize) {
  struct { bool default_size; size_t bytes; size_t want; } cases[] = {
      {true, 0, kPlatThreadStack},
      {false, size_t{1} << 20, size_t{1} << 20},
      {false, size_t{16} << 20, size_t{16} << 20},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.want);
    bool detached = false;
    EXPECT_GE(stack_of_started_thread(c.default_size, c.bytes, &detached), c.want);
    EXPECT_TRUE(detached);
  }
  EXPECT_EQ(plat_thread_stack(nullptr, nullptr, kPlatThreadStack), 0);
  // Below the system's minimum the thread is refused, not started with some other stack.
  EXPECT_EQ(plat_thread_stack(report_stack, nullptr, 1), 0);
}
