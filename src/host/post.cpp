// The HTTPS JSON POST: the body goes to a scratch file and /usr/bin/curl sends it, printing the
// HTTP status on its standard output.
#include "host/plat.h"

#include "base/paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr const char* kCurl = "/usr/bin/curl";
constexpr const char* kBodyFile = "/tmp/ql-post.json";
constexpr size_t kStatusMax = 31;

// Starts curl with its output on a pipe; returns what it printed (at most kStatusMax bytes).
std::string run_curl(const std::string& body_path, const char* url) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {};
  const std::string data = "@" + body_path;
  const char* argv[] = {"curl",          "-sS",
                        "--connect-timeout", "10",
                        "--max-time",    "30",
                        "-A",            "CorvellNalo",
                        "-H",            "Content-Type: application/json",
                        "--data-binary", data.c_str(),
                        "-o",            "/dev/null",
                        "-w",            "%{http_code}",
                        url,             nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, kCurl, &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string out;
  if (rc == 0) {
    char buf[kStatusMax];
    while (out.size() < kStatusMax) {
      const ssize_t r = read(fds[0], buf, kStatusMax - out.size());
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      out.append(buf, static_cast<size_t>(r));
    }
  }
  close(fds[0]);
  if (rc == 0) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  return out;
}

}  // namespace

int plat_post(const char* url, const char* body, size_t length) {
  if (!url || strncmp(url, "https://", 8) != 0) return 0;
  char buf[kQlPathMax];
  const std::string body_path = ql_path(kBodyFile, buf, sizeof buf);
  if (body_path.empty()) return 0;
  {
    FilePtr f(fopen(body_path.c_str(), "wb"));
    if (!f) return 0;
    if (length > 0 && fwrite(body, 1, length, f.get()) != length) {
      f.reset();
      unlink(body_path.c_str());
      return 0;
    }
    if (fclose(f.release()) != 0) {
      unlink(body_path.c_str());
      return 0;
    }
  }
  const std::string status = run_curl(body_path, url);
  unlink(body_path.c_str());
  return atoi(status.c_str());
}
