#include "store/download_manager.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "base/paths.h"
#include "base/system_services.h"
#include "host/services.h"
#include "store/audio_unpack.h"
#include "store/download_policy.h"

extern char** environ;

namespace {
constexpr size_t kJobStack = size_t{1} << 20;
constexpr useconds_t kPollUs = 200 * 1000;
constexpr char kCurl[] = "/usr/bin/curl";

// The one job. The core thread fills the texts before the job thread starts and afterwards writes
// only `cancel` and, when acknowledging, `state`; the job thread writes `state`.
struct DownloadJob {
  char url[kDownloadUrlMax + 1] = {};
  char dest[4096] = {};
  char part[4100] = {};
  uint64_t expected = 0;
  std::atomic<uint32_t> state{DL_IDLE};
  std::atomic<uint32_t> cancel{0};
};
DownloadJob J;

bool is_running(uint32_t s) { return s == DL_DOWNLOADING || s == DL_UNPACKING; }

std::string host_path(const char* device_path) {
  char buf[kQlPathMax];
  return ql_path(device_path, buf, sizeof buf);
}

void finish(DownloadState s) { J.state.store(s); }

// curl with its fixed arguments; its process id, or -1 when it could not start.
pid_t start_curl(const std::string& part) {
  const char* argv[] = {"curl", "-sS", "-f", "-L", "--proto", "=https", "--proto-redir", "=https",
                        "--connect-timeout", "20", "--speed-limit", "1", "--speed-time", "60",
                        "-A", "CorvellNalo", "-o", part.c_str(), J.url, nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, kCurl, nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return -1;
  return pid;
}

// Waits for curl, stopping it when the job is cancelled. True when it ended with status 0 and no
// cancel came.
bool wait_curl(pid_t pid) {
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return false;
    if (r == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0 && !J.cancel.load();
    if (J.cancel.load()) {
      kill(pid, SIGTERM);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return false;
    }
    usleep(kPollUs);
  }
}

// The arrived archive takes its own name, then its recordings go into a folder of that name. An
// unpack cut short by a crash is completed at the next start; an archive whose recordings could not
// all be unpacked is kept, so nothing that arrived is lost; a cancelled job throws it away.
DownloadState unpack_arrived(const std::string& part) {
  J.state.store(DL_UNPACKING);
  const std::string dest = free_destination(J.dest, false);
  if (dest.empty() || qlp_rename(J.part, dest.c_str()) != 0) {
    unlink(part.c_str());
    return DL_FAILED;
  }
  const size_t slash = dest.rfind('/');
  const ArchiveOutcome o =
      unpack_archive(dest.substr(0, slash), dest.substr(slash + 1), J.cancel, {}, true).outcome;
  return o == ArchiveOutcome::unpacked || o == ArchiveOutcome::partly ? DL_DONE : DL_FAILED;
}

// A book in the documents folder never replaces one that appeared meanwhile; a state file does.
DownloadState put_in_place(const std::string& part) {
  std::string dest = J.dest;
  if (dest.starts_with(kDocumentsPrefix)) {
    dest = free_destination(dest);
  } else {
    qlp_remove(dest.c_str());
  }
  if (!dest.empty() && qlp_rename(J.part, dest.c_str()) == 0) return DL_DONE;
  unlink(part.c_str());
  return DL_FAILED;
}

void* run_job(void*) {
  const std::string part = host_path(J.part);
  unlink(part.c_str());
  const pid_t pid = start_curl(part);
  if (pid < 0) {
    finish(DL_FAILED);
    return nullptr;
  }
  if (!wait_curl(pid)) {
    unlink(part.c_str());
    finish(DL_FAILED);
    return nullptr;
  }
  finish(is_archive_name(J.dest) ? unpack_arrived(part) : put_in_place(part));
  return nullptr;
}

void copy_text(char* out, size_t size, std::string_view text) {
  const size_t n = std::min(text.size(), size - 1);
  memcpy(out, text.data(), n);
  out[n] = '\0';
}
}  // namespace

int ql_dl_start(const char* url, const char* dest, uint64_t expected) {
  if (!url || !dest || is_running(J.state.load())) return 0;
  if (!ql_dl_allowed(url) || !destination_allowed(dest)) return 0;
  const std::string target = free_destination(dest);
  if (target.empty() || target.size() >= sizeof J.dest) return 0;
  copy_text(J.url, sizeof J.url, url);
  copy_text(J.dest, sizeof J.dest, target);
  copy_text(J.part, sizeof J.part, target + ".part");
  J.expected = expected;
  J.cancel.store(0);
  J.state.store(DL_DOWNLOADING);
  if (!plat_thread_stack(run_job, nullptr, kJobStack)) {
    J.state.store(DL_IDLE);
    return 0;
  }
  return 1;
}

DownloadState ql_dl_state(uint64_t* done, uint64_t* total) {
  const auto s = static_cast<DownloadState>(J.state.load());
  uint64_t got = 0;
  if (s == DL_DOWNLOADING) {
    got = static_cast<uint64_t>(std::max<int64_t>(ql_file_size(J.part), 0));
  } else if (s == DL_DONE || s == DL_UNPACKING) {
    got = J.expected;
  }
  if (done) *done = got;
  if (total) *total = J.expected;
  return s;
}

void ql_dl_cancel() {
  if (is_running(J.state.load())) J.cancel.store(1);
}

void ql_dl_ack() {
  uint32_t s = J.state.load();
  if (s == DL_DONE || s == DL_FAILED) J.state.compare_exchange_strong(s, DL_IDLE);
}

std::string ql_dl_dest() { return J.dest; }
