// A scratch folder for one bench run under $TMPDIR (else /tmp), removed with everything in it when
// the bench ends, on an early return too, so no run leaves files behind.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>

class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix) {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // Empty when the folder could not be made.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};
