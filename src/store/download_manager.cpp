#include "store/download_manager.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/atomic_file.h"
#include "base/paths.h"
#include "base/system_services.h"
#include "host/services.h"
#include "store/audio_unpack.h"
#include "store/download_policy.h"
#include "store/store_catalog.h"

extern char** environ;

namespace {
constexpr size_t kJobStack = size_t{1} << 20;
constexpr useconds_t kPollUs = 200 * 1000;
constexpr char kCurl[] = "/usr/bin/curl";
constexpr useconds_t kQuitPollUs = 10 * 1000;
constexpr int kQuitPolls = 100;  // a second: the job sees the stop within one of its polls

// The one job. The core thread fills the texts before the job thread starts and afterwards writes
// only `cancel` and, when acknowledging, `state`; the job thread writes `state`.
struct DownloadJob {
  char url[kDownloadUrlMax + 1] = {};
  char dest[4096] = {};
  char part[4100] = {};
  uint64_t expected = 0;
  std::atomic<uint32_t> state{DL_IDLE};
  std::atomic<uint32_t> cancel{0};
  std::atomic<uint32_t> quitting{0};  // the program ends: stop a transfer, but keep what arrived
  std::atomic<uint32_t> noticed{0};   // its archive left a notice of its own (the job thread)
};
DownloadJob download_job;

bool is_running(uint32_t s) { return s == DL_DOWNLOADING || s == DL_UNPACKING; }

std::string host_path(const char* device_path) {
  char buf[kQlPathMax];
  return ql_path(device_path, buf, sizeof buf);
}

// The running job's destination, kept in the state folder until the job ends: a start that finds
// it knows the program ended during that job (ql_dl_recover).
void journal_write(std::string_view dest) {
  file_write_atomic(kDownloadJournalPath, dest.data(), dest.size());
}

void finish(DownloadState s) {
  qlp_remove(kDownloadJournalPath);
  download_job.state.store(s);
}

// curl with its fixed arguments; its process id, or -1 when it could not start. curl never
// outlives the program: it is killed when the thread that started it ends, and the job thread
// waits for curl, so that happens only when the program ends, however it ends (a kill -9 too).
pid_t start_curl(const std::string& part) {
  const char* argv[] = {"curl", "-sS", "-f", "-L", "--proto", "=https", "--proto-redir", "=https",
                        "--connect-timeout", "20", "--speed-limit", "1", "--speed-time", "60",
                        "-A", "CorvellNalo", "-o", part.c_str(), download_job.url, nullptr};
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) return pid;
  // Only async-signal-safe calls between fork and exec. A program that died before the request
  // was made is no longer the parent.
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(127);
  execve(kCurl, const_cast<char**>(argv), environ);
  _exit(127);
}

bool is_stopped() { return download_job.cancel.load() || download_job.quitting.load(); }

// Waits for curl, stopping it when the job is cancelled or the program quits. True when it ended
// with status 0 and no stop came.
bool wait_curl(pid_t pid) {
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return false;
    // Once curl has ended, only the reader's own cancel throws away what arrived: a quit keeps it.
    if (r == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0 && !download_job.cancel.load();
    if (is_stopped()) {
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
// all be unpacked, or that holds more than recordings, is kept, so nothing that arrived is lost; a
// cancelled job throws it away.
DownloadState unpack_arrived(const std::string& part) {
  download_job.state.store(DL_UNPACKING);
  const std::string dest = free_destination(download_job.dest, false);
  if (dest.empty() || qlp_rename(download_job.part, dest.c_str()) != 0) {
    unlink(part.c_str());
    return DL_FAILED;
  }
  const size_t slash = dest.rfind('/');
  const ArchiveReport report =
      unpack_archive(dest.substr(0, slash), dest.substr(slash + 1), download_job.cancel, {}, true);
  download_job.noticed.store(!unpack_notice(report).empty());
  const ArchiveOutcome o = report.outcome;
  const bool arrived = o == ArchiveOutcome::unpacked || o == ArchiveOutcome::with_others ||
                       o == ArchiveOutcome::partly;
  return arrived ? DL_DONE : DL_FAILED;
}

// A book in the documents folder never replaces one that appeared meanwhile; a state file does.
DownloadState put_in_place(const std::string& part) {
  std::string dest = download_job.dest;
  if (dest.starts_with(kDocumentsPrefix)) {
    dest = free_destination(dest);
  } else {
    qlp_remove(dest.c_str());
  }
  if (!dest.empty() && qlp_rename(download_job.part, dest.c_str()) == 0) return DL_DONE;
  unlink(part.c_str());
  return DL_FAILED;
}

void* run_job(void*) {
  const std::string part = host_path(download_job.part);
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
  finish(is_archive_name(download_job.dest) ? unpack_arrived(part) : put_in_place(part));
  return nullptr;
}

void copy_text(char* out, size_t size, std::string_view text) {
  const size_t n = std::min(text.size(), size - 1);
  memcpy(out, text.data(), n);
  out[n] = '\0';
}
}  // namespace

int ql_dl_start(const char* url, const char* dest, uint64_t expected) {
  if (!url || !dest || is_running(download_job.state.load())) return 0;
  if (!ql_dl_allowed(url) || !destination_allowed(dest)) return 0;
  const std::string target = free_destination(dest);
  if (target.empty() || target.size() >= sizeof download_job.dest) return 0;
  copy_text(download_job.url, sizeof download_job.url, url);
  copy_text(download_job.dest, sizeof download_job.dest, target);
  copy_text(download_job.part, sizeof download_job.part,
            std::string(target).append(kDownloadPartSuffix));
  download_job.expected = expected;
  download_job.cancel.store(0);
  download_job.quitting.store(0);
  download_job.noticed.store(0);
  download_job.state.store(DL_DOWNLOADING);
  journal_write(target);
  if (!plat_thread_stack(run_job, nullptr, kJobStack)) {
    qlp_remove(kDownloadJournalPath);
    download_job.state.store(DL_IDLE);
    return 0;
  }
  return 1;
}

bool ql_dl_recover() {
  if (is_running(download_job.state.load())) return false;
  const std::optional<std::string> dest =
      read_file_alloc(kDownloadJournalPath, sizeof download_job.dest);
  if (!dest) return false;
  bool archive_waits = false;
  if (destination_allowed(*dest) && dest->size() < sizeof download_job.dest) {
    // curl ended with the program: what it wrote is a fragment.
    const std::string part = std::string(*dest).append(kDownloadPartSuffix);
    qlp_remove(part.c_str());
    struct stat st;
    archive_waits = is_archive_name(*dest) && qlp_lstat(dest->c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }
  qlp_remove(kDownloadJournalPath);
  return archive_waits;
}

DownloadState ql_dl_state(uint64_t* done, uint64_t* total) {
  const auto s = static_cast<DownloadState>(download_job.state.load());
  uint64_t got = 0;
  if (s == DL_DOWNLOADING) {
    got = static_cast<uint64_t>(std::max<int64_t>(ql_file_size(download_job.part), 0));
  } else if (s == DL_DONE || s == DL_UNPACKING) {
    got = download_job.expected;
  }
  if (done) *done = got;
  if (total) *total = download_job.expected;
  return s;
}

void ql_dl_cancel() {
  if (is_running(download_job.state.load())) download_job.cancel.store(1);
}

void ql_dl_quit() {
  if (download_job.state.load() != DL_DOWNLOADING) return;
  download_job.quitting.store(1);
  for (int i = 0; i < kQuitPolls && download_job.state.load() == DL_DOWNLOADING; i++) usleep(kQuitPollUs);
}

void ql_dl_ack() {
  uint32_t s = download_job.state.load();
  if (s == DL_DONE || s == DL_FAILED) download_job.state.compare_exchange_strong(s, DL_IDLE);
}

std::string ql_dl_dest() { return download_job.dest; }

bool ql_dl_noticed() { return download_job.noticed.load() != 0; }
