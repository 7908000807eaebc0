// Runs a program as a child process with extra environment variables and a time limit, for tests
// that drive the real program end to end. The child is killed if the test process dies first. A
// program name without a slash is looked up in PATH.
#pragma once
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct ProgramResult {
  int status = -1;         // exit status, or -1 when it did not exit normally
  bool timed_out = false;  // killed after the time limit
  double elapsed_ms = 0;
};

using EnvList = std::vector<std::pair<std::string, std::string>>;

// `args` excludes the program name; `env` is added to (or replaces in) the test's environment.
ProgramResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const EnvList& env, int timeout_ms);

// Starts the program without waiting (its process id, -1 when it cannot start); wait_program
// waits for it and kills it after the time limit.
int start_program(const std::string& program, const std::vector<std::string>& args,
                  const EnvList& env);
ProgramResult wait_program(int pid, int timeout_ms);

// True once the process has ended (it stays a zombie for wait_program to collect).
bool has_ended(int pid);
// Ends the process with SIGKILL (a kill -9 at whatever it was doing) and collects it.
void kill_program(int pid);

// Polls `done` until it holds, for at most a minute (a hang fails instead of blocking the run).
bool eventually(const std::function<bool()>& done);
