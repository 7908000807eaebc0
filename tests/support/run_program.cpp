#include "support/run_program.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {
using Clock = std::chrono::steady_clock;

// A child's sanitizer reports go to files of this test process's own folder, one per child
// process, instead of the child's standard error, which the program appends to a log inside its
// data folder that the test removes: wait_program prints a report that was written.
const std::string& report_folder() {
  static const std::string& folder = *new std::string([] {
    const char* tmp = getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/ql-sanitizer-XXXXXX";
    if (!mkdtemp(dir.data())) return std::string();
    atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(report_folder(), ec);
    });
    return dir;
  }());
  return folder;
}

// The child's environment: the test's own, with `extra` added or replacing, and the sanitizers'
// log_path pointed at the report folder (after any options the caller gave).
std::vector<std::string> merged_env(const EnvList& extra) {
  std::vector<std::string> out;
  std::string options[2];  // ASAN_OPTIONS, UBSAN_OPTIONS
  constexpr const char* kOptionNames[2] = {"ASAN_OPTIONS", "UBSAN_OPTIONS"};
  auto take = [&](const std::string& name, const std::string& value) {
    for (int i = 0; i < 2; i++) {
      if (name == kOptionNames[i]) {
        options[i] = value;
        return true;
      }
    }
    return false;
  };
  for (char** e = environ; *e; e++) {
    const std::string entry = *e;
    const size_t eq = entry.find('=');
    const std::string name = entry.substr(0, eq);
    bool replaced = false;
    for (const auto& [k, v] : extra) replaced = replaced || k == name;
    if (!replaced && !(eq != std::string::npos && take(name, entry.substr(eq + 1)))) out.push_back(entry);
  }
  for (const auto& [k, v] : extra) {
    if (!take(k, v)) out.push_back(k + "=" + v);
  }
  const std::string& folder = report_folder();
  for (int i = 0; i < 2; i++) {
    std::string value = options[i];
    if (!folder.empty()) {
      if (!value.empty()) value += ':';
      value.append("log_path=").append(folder).append("/report");
    }
    if (!value.empty()) out.push_back(std::string(kOptionNames[i]) + "=" + value);
  }
  return out;
}

// Prints and removes the sanitizer reports the child wrote (one file per process, named for its
// process id), so a failing session shows why.
void print_reports(int pid) {
  const std::string& folder = report_folder();
  if (folder.empty()) return;
  const std::string name = "report." + std::to_string(pid);
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
    if (e.path().filename().string().rfind(name, 0) != 0) continue;
    std::ifstream in(e.path());
    std::stringstream text;
    text << in.rdbuf();
    std::cerr << "Sanitizer report of process " << pid << ":\n" << text.str() << std::endl;
    std::filesystem::remove(e.path(), ec);
  }
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
  print_reports(pid);
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
