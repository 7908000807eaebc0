#include "host/main_thread.h"

#include "host/host_queue.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
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
    _exit(0);
  }).detach();
}
