#include "host/services.h"

#include <mutex>
#include <pthread.h>
#include <utility>

#include "host/plat.h"

namespace {
// Set by tests from their own thread while the program's threads may run commands, so every
// use copies the function under the lock and calls it outside.
std::mutex hooks_lock;
PlatRunner runner;
PlatLight light;

template <class F>
F copy_hook(const F& hook) {
  std::lock_guard<std::mutex> hold(hooks_lock);
  return hook;
}
}  // namespace

void plat_set_runner(PlatRunner r) {
  std::lock_guard<std::mutex> hold(hooks_lock);
  runner = std::move(r);
}

void plat_set_light(PlatLight l) {
  std::lock_guard<std::mutex> hold(hooks_lock);
  light = std::move(l);
}

// The desktop has no device scripts, power daemon or radios: every command line is refused.
int plat_run(const char* cmd, int secs) {
  PlatRunner r = copy_hook(runner);
  return r ? r(cmd ? cmd : "", secs) : -1;
}

void plat_light(int level) {
  if (PlatLight l = copy_hook(light)) l(level);
}

int plat_battery() { return -1; }
int plat_charging() { return 0; }

int plat_thread_stack(void* (*fn)(void*), void* arg, size_t stack_bytes) {
  if (!fn) return 0;
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return 0;
  pthread_t thread;
  const bool ok = pthread_attr_setstacksize(&attr, stack_bytes) == 0 &&
                  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED) == 0 &&
                  pthread_create(&thread, &attr, fn, arg) == 0;
  pthread_attr_destroy(&attr);
  return ok ? 1 : 0;
}

int plat_thread(void* (*fn)(void*), void* arg) { return plat_thread_stack(fn, arg, kPlatThreadStack); }
