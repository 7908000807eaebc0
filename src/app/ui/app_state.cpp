#include "app/ui/app_state.h"

#include <atomic>
#include <cassert>
#include <thread>

AppState app;

namespace {
// Default-constructed until start-up records the core thread: nothing to check before that (a test
// driving screens in its own thread).
std::atomic<std::thread::id> core_thread{};
}  // namespace

void app_set_core_thread() { core_thread.store(std::this_thread::get_id()); }

void app_assert_core() {
  [[maybe_unused]] const std::thread::id core = core_thread.load();
  assert(core == std::thread::id{} || core == std::this_thread::get_id());
}
