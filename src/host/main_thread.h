// Work for the host's main thread (adding books, the file chooser), and quitting.
#pragma once
#include <functional>

// Queues `fn` for the main thread and wakes it.
void host_post_task(std::function<void()> fn);
// Runs every task queued so far; the window front end calls it from its main loop.
void host_run_tasks();
// Waits until every task posted so far has finished; false after the time limit.
bool host_wait_tasks_done(int timeout_ms);
// The window front end's wake-up, called after each post so that its loop runs host_run_tasks.
void host_set_task_waker(void (*wake)());
// The headless main thread: runs tasks as they are posted, until the process ends.
[[noreturn]] void host_task_loop();

// What plat_import runs on the main thread (the window's file chooser); none when headless.
void host_set_import_handler(void (*handler)());

// Quit from the window, its menu or a signal: posts a quit request for the core (never dropped)
// and ends the process with status 0 after kQuitGraceMs unless the core has ended it by then.
// A forced end removes the run's temporary folder first.
constexpr int kQuitGraceMs = 2000;
void host_request_quit();
// The time left before a requested quit's forced end; the whole grace when no quit was requested
// here (the test driver's quit has no forced end).
int host_quit_grace_left_ms();
// SIGTERM and SIGHUP (a session ending, a terminal closed, a shutdown) become quit requests, so the
// program ends as Quit ends it, saving, whatever libraries it has loaded. Called once at start-up,
// before the sound output can be loaded; false when the handlers could not be set.
bool host_quit_on_signals();
