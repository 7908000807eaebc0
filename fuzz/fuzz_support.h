// Shared by the harnesses: a private folder standing in for the device's /mnt/us and /tmp (so
// nothing the code under test writes escapes it), whole-file writes, and the switch that makes a
// harness write its seed inputs.
#pragma once
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/paths.h"

namespace fuzz {

// The host folder behind the device paths, made on the first call with us/ql/state inside, the
// path remapping pointed at it, and removed when the process ends.
inline const std::string& device_root() {
  // Never freed: the exit handler below runs after static objects are destroyed.
  static const std::string& root = *new std::string([] {
    // In memory where there is such a folder: the state writers sync every file they replace.
    struct stat shm;
    const bool in_memory = stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode);
    std::string base = std::string(in_memory ? "/dev/shm" : "/tmp") + "/ql-fuzz-XXXXXX";
    if (!mkdtemp(base.data())) __builtin_trap();
    for (const char* sub : {"/us", "/tmp", "/us/ql", "/us/ql/state"}) mkdir((base + sub).c_str(), 0755);
    ql_set_root((base + "/us").c_str(), (base + "/tmp").c_str());
    atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(device_root(), ec);
    });
    return base;
  }());
  return root;
}

// Replaces the host file at `path` (under device_root(), where the remapping leaves paths alone)
// with the bytes; a failed write is the harness's fault, not the input's.
inline void write_host_file(const std::string& path, const void* bytes, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f || (size > 0 && fwrite(bytes, 1, size, f) != size)) __builtin_trap();
  if (fclose(f) != 0) __builtin_trap();
}

// Writes a whole file at a device path; a failed write is the harness's fault, not the input's.
inline void write_device_file(const char* path, const void* data, size_t size) {
  FilePtr f(qlp_fopen(path, "wb"));
  if (!f || (size > 0 && fwrite(data, 1, size, f.get()) != size)) __builtin_trap();
}

// The folder named by QL_FUZZ_SEEDS, or null: when set, the harness writes its seeds there from
// LLVMFuzzerInitialize and exits instead of fuzzing.
inline const char* seed_folder() { return getenv("QL_FUZZ_SEEDS"); }

// The common start of a harness: the private folder is made, and with QL_FUZZ_SEEDS set the
// seeds are written and the process ends.
inline void begin(void (*write_seeds)()) {
  device_root();
  if (!seed_folder()) return;
  write_seeds();
  exit(0);
}

inline void write_seed(const std::string& name, std::string_view bytes) {
  const std::string path = std::string(seed_folder()) + "/" + name;
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) __builtin_trap();
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

}  // namespace fuzz
