#include "app/ui/app_state.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

AppState app;

namespace {
// Default-constructed until start-up records the core thread: nothing to check before that (a test
// driving screens in its own thread).
std::atomic<std::thread::id> core_thread{};
}  // namespace

void app_set_core_thread() { core_thread.store(std::this_thread::get_id()); }

// Live in every build: a load and a compare cost nothing beside the work of the callers, and a
// state race found on a reader's device is worth more than the check.
void app_assert_core() {
  const std::thread::id core = core_thread.load(std::memory_order_relaxed);
  if (core == std::thread::id{} || core == std::this_thread::get_id()) return;
  fputs("quillo: state of the core thread touched from another thread\n", stderr);
  abort();
}
