#include "host/main_thread.h"

#include "host/data_folder.h"
#include "host/host_queue.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

struct TaskQueue {
  std::mutex mu;
  std::condition_variable cv;       // a task was posted
  std::condition_variable done_cv;  // a task finished
  std::deque<std::function<void()>> tasks;
  int unfinished = 0;  // queued or running
};

// Never destroyed: tasks may still be posted while the process exits.
TaskQueue& tasks() {
  static TaskQueue* q = new TaskQueue;
  return *q;
}

std::atomic<void (*)()> waker{nullptr};
std::atomic<void (*)()> import_handler{nullptr};
constexpr int64_t kNoQuit = -1;
std::atomic<int64_t> quit_requested_ms{kNoQuit};  // steady clock; set once, by the first request

int64_t steady_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A quit signal's handler only writes a byte here (all it may safely do); a thread of its own
// turns each byte into a quit request.
int signal_pipe[2] = {-1, -1};

void on_quit_signal(int) {
  const int saved = errno;
  const char byte = 1;
  // A full pipe already holds a quit request, so a failed write loses nothing.
  [[maybe_unused]] const ssize_t written = write(signal_pipe[1], &byte, 1);
  errno = saved;
}

void take_quit_signals() {
  for (;;) {
    char byte;
    const ssize_t n = read(signal_pipe[0], &byte, 1);
    if (n == 1) host_request_quit();
    if (n == 0 || (n < 0 && errno != EINTR)) return;
  }
}

}  // namespace

void host_post_task(std::function<void()> fn) {
  TaskQueue& q = tasks();
  {
    std::lock_guard lock(q.mu);
    q.tasks.push_back(std::move(fn));
    q.unfinished++;
  }
  q.cv.notify_one();
  if (auto wake = waker.load()) wake();
}

void host_run_tasks() {
  TaskQueue& q = tasks();
  for (;;) {
    std::function<void()> fn;
    {
      std::lock_guard lock(q.mu);
      if (q.tasks.empty()) return;
      fn = std::move(q.tasks.front());
      q.tasks.pop_front();
    }
    fn();
    {
      std::lock_guard lock(q.mu);
      q.unfinished--;
    }
    q.done_cv.notify_all();
  }
}

bool host_wait_tasks_done(int timeout_ms) {
  TaskQueue& q = tasks();
  std::unique_lock lock(q.mu);
  return q.done_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                            [&] { return q.unfinished == 0; });
}

void host_set_task_waker(void (*wake)()) { waker.store(wake); }

void host_task_loop() {
  TaskQueue& q = tasks();
  for (;;) {
    {
      std::unique_lock lock(q.mu);
      q.cv.wait(lock, [&] { return !q.tasks.empty(); });
    }
    host_run_tasks();
  }
}

void host_set_import_handler(void (*handler)()) { import_handler.store(handler); }

void plat_import() {
  host_post_task([] {
    if (auto handler = import_handler.load()) handler();
  });
}

void host_request_quit() {
  int64_t none = kNoQuit;
  const bool first = quit_requested_ms.compare_exchange_strong(none, steady_ms());
  host_push(HOST_QUIT, 0, 0);
  if (!first) return;
  // The core saves and exits at its next wait; one that does not get there in time is ended
  // without running static destructors under its feet.
  std::thread([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(kQuitGraceMs));
    host_remove_tmp_root();
    _exit(0);
  }).detach();
}

int host_quit_grace_left_ms() {
  const int64_t requested = quit_requested_ms.load();
  if (requested == kNoQuit) return kQuitGraceMs;
  return static_cast<int>(std::max<int64_t>(kQuitGraceMs - (steady_ms() - requested), 0));
}

bool host_quit_on_signals() {
  if (pipe2(signal_pipe, O_CLOEXEC) != 0) return false;
  // The handler must never block, even when signals come faster than they are taken.
  fcntl(signal_pipe[1], F_SETFL, fcntl(signal_pipe[1], F_GETFL) | O_NONBLOCK);
  std::thread(take_quit_signals).detach();
  struct sigaction sa {};
  sa.sa_handler = on_quit_signal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  // A caught signal goes back to its default in a program this one starts (curl), and libraries
  // loaded later (SDL) leave a handler that is not the default alone.
  return sigaction(SIGTERM, &sa, nullptr) == 0 && sigaction(SIGHUP, &sa, nullptr) == 0;
}
