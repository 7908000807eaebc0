#include "host/main_thread.h"

#include "host/data_folder.h"
#include "host/host_queue.h"

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
std::atomic<bool> exit_scheduled{false};

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
  host_push(HOST_QUIT, 0, 0);
  if (exit_scheduled.exchange(true)) return;
  // The core saves and exits at its next wait; one that does not get there in time is ended
  // without running static destructors under its feet.
  std::thread([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(kQuitGraceMs));
    host_remove_tmp_root();
    _exit(0);
  }).detach();
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
