#include "host/host_start.h"

#include "base/file_copy.h"
#include "base/paths.h"
#include "host/data_folder.h"
#include "host/front_end.h"
#include "host/host_queue.h"
#include "host/leftovers.h"
#include "host/main_thread.h"
#include "host/services.h"
#include "host/test_driver.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr size_t kCoreStack = 16 * 1024 * 1024;

bool is_dir(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// "--open" and its book from the command line, handed on to the core.
char* open_arg[2] = {};
CoreEntry core_entry = nullptr;

void* core_main(void*) {
  char name[] = "quillo";
  char* argv[] = {name, open_arg[0], open_arg[1], nullptr};
  const int argc = open_arg[0] ? 3 : 1;
  // The core's status is the process's; it exits itself after a quit, so this is rare.
  exit(core_entry(argc, argv));
}


// Standard error goes to the log from here on, so every later message is kept. Returns the
// terminal's standard error for messages a person starting the program must see (-1: none kept).
int open_log(const std::string& data) {
  const std::string log = data + "/ql/quillo.log";
  trim_log(log);
  if (getenv("CVNL_STDERR")) return -1;
  const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  const int terminal = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  dup2(fd, STDERR_FILENO);
  close(fd);
  return terminal;
}

// In the log and on the terminal.
void say_at_start(int terminal, const char* message) {
  fprintf(stderr, "quillo: %s\n", message);
  if (terminal >= 0) dprintf(terminal, "quillo: %s\n", message);
}

// A start-up failure.
int fail_start(int terminal, const char* message) {
  say_at_start(terminal, message);
  return 1;
}

// A second interactive start on a data folder in use says so and ends, writing nothing there: not
// even a line in the log, which belongs to the program that runs.
int refuse_second_start(const std::string& data, bool headless, int* argc, char*** argv) {
  const std::string text = "Corvell Nalo is already running on this data folder (" + data + ").";
  fprintf(stderr, "quillo: %s\n", text.c_str());
  if (!headless) window_front_alert(argc, argv, text.c_str());
  return 1;
}

}  // namespace

void copy_seed(const std::string& src, const std::string& dst, bool overwrite) {
  std::error_code ec;
  fs::recursive_directory_iterator it(src, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const fs::path rel = it->path().lexically_relative(src);
    const std::string target = (fs::path(dst) / rel).string();
    std::error_code type_ec;
    if (it->is_directory(type_ec)) {
      make_folders(target);
    } else if (it->is_regular_file(type_ec)) {
      make_folders(fs::path(target).parent_path().string());
      if (!overwrite && fs::exists(fs::symlink_status(target, type_ec))) continue;
      copy_file(it->path().string(), target, true);
    }
  }
}

void trim_log(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && st.st_size > kLogLimit) unlink(path.c_str());
}

std::string tz_minutes_text() {
  const time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  char buf[32];
  snprintf(buf, sizeof buf, "%ld", static_cast<long>(local.tm_gmtoff / 60));
  return buf;
}

std::string host_program_dir() {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "";
  exe[n] = '\0';
  return fs::path(exe).parent_path().string();
}

std::string host_resources_dir() {
  const fs::path dir = host_program_dir();
  if (dir.empty()) return "";
  const std::string beside = (dir / "resources").string();
  if (is_dir(beside)) return beside;
  return (dir.parent_path() / "share" / "quillo").string();
}

int host_main(int argc, char** argv, CoreEntry core) {
  core_entry = core;
  const bool headless = getenv("CVNL_HEADLESS") != nullptr;
  if (argc >= 3 && strcmp(argv[1], "--open") == 0) {
    open_arg[0] = argv[1];
    open_arg[1] = argv[2];
  }
  const std::string data = host_data_folder();
  // Before anything is made in the folder, and before the quit signals are taken: a start that
  // does not go on ends at a signal as any program does, even while its message is shown.
  const DataFolderClaim claim = host_claim_data_folder(data);
  const int claim_error = errno;
  if (claim == DataFolderClaim::TakenByAnother) {
    return refuse_second_start(data, headless, &argc, &argv);
  }
  const int make_error = host_make_data_folders(data);
  if (!host_quit_on_signals()) perror("quillo: cannot take quit signals");
  // The log next, so that it keeps every message of the start.
  const int terminal = open_log(data);
  const std::string problem = host_data_folder_problem(data, make_error);
  if (!problem.empty()) {
    say_at_start(terminal, problem.c_str());
    host_keep_start_notice(problem);
  } else if (claim == DataFolderClaim::Unlocked) {
    fprintf(stderr, "quillo: cannot lock the data folder %s: %s\n", data.c_str(),
            strerror(claim_error));
  }
  const std::string tmp = host_make_tmp_root();
  if (tmp.empty()) perror("quillo: cannot create the temporary folder");
  host_remove_at_exit(tmp);
  // Before anything is copied: what killed runs left goes first (nothing can be left, nor
  // removed, where nothing can be written).
  if (problem.empty()) host_hold_data_folder(data, true);
  host_remove_stale_tmp_roots();
  const std::string resources = host_resources_dir();
  copy_seed(resources + "/seed", data, false);
  if (!(headless && getenv("CVNL_NO_SAMPLES"))) {
    copy_seed(resources + "/bundled", data + "/ql/bundled", true);
  }
  ql_set_root(data.c_str(), tmp.c_str());
  setenv("QUILLO_STATE", "/mnt/us/ql/state", 1);
  setenv("QL_TZ_MIN", tz_minutes_text().c_str(), 1);

  if (!headless) {
    if (const char* failure = window_front_init(&argc, &argv)) return fail_start(terminal, failure);
  } else {
    // Without a window only a screenshot looks at the frames.
    host_keep_frames_when_asked();
  }
  if (!plat_thread_stack(core_main, nullptr, kCoreStack)) return fail_start(terminal, "cannot start the core thread");
  if (terminal >= 0) close(terminal);
  if (const char* script = getenv("CVNL_TEST")) test_driver_start(script);
  if (headless) host_task_loop();
  window_front_run();
}
