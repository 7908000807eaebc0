// A full storage for the tests: the process's own file-size limit, which holds for root too (file
// modes do not stop root, and the tests run as root).
#pragma once
#include <csignal>
#include <sys/resource.h>

// Emulates a full disk: files may not grow past `bytes`, and the write fails instead of killing us.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    old_signal_ = signal(SIGXFSZ, SIG_IGN);
    rlimit lim = old_;
    lim.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, old_signal_);
  }

 private:
  rlimit old_{};
  void (*old_signal_)(int) = nullptr;
};
