#include "support/run_program.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {
using Clock = std::chrono::steady_clock;

std::vector<std::string> merged_env(const EnvList& extra) {
  std::vector<std::string> out;
  for (char** e = environ; *e; e++) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& [k, v] : extra) replaced = replaced || k == name;
    if (!replaced) out.push_back(entry);
  }
  for (const auto& [k, v] : extra) out.push_back(k + "=" + v);
  return out;
}
}  // namespace

int start_program(const std::string& program, const std::vector<std::string>& args,
                  const EnvList& env) {
  std::vector<std::string> argv_s = {program};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_s = merged_env(env);
  std::vector<char*> envp;
  for (auto& e : env_s) envp.push_back(e.data());
  envp.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // Ended with the test, even when the test itself dies.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    execvpe(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

ProgramResult wait_program(int pid, int timeout_ms) {
  ProgramResult r;
  if (pid <= 0) return r;
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::milliseconds(timeout_ms);
  int status = 0;
  for (;;) {
    const pid_t w = waitpid(pid, &status, WNOHANG);
    if (w == pid) break;
    if (w < 0 && errno != EINTR) return r;
    if (Clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      r.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  r.elapsed_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (!r.timed_out && WIFEXITED(status)) r.status = WEXITSTATUS(status);
  return r;
}

ProgramResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const EnvList& env, int timeout_ms) {
  return wait_program(start_program(program, args, env), timeout_ms);
}

bool has_ended(int pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

void kill_program(int pid) {
  kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

bool eventually(const std::function<bool()>& done) {
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (Clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}
