// The engine's small state files, read back whatever they hold: a damaged or hand-edited
// `audio.status`, `audio.cmd` or position file gives a clean value or nothing.
//
// Input: byte 0 picks the file, the rest is its content:
//   0 `audio.status`   1 `audio.cmd` (taken as the engine takes it)   2 a part's position file
// The device paths are remapped into a private temp folder, so nothing of a real
// /mnt/us is touched.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "audio/audio_engine.h"
#include "audio/audio_files.h"
#include "base/paths.h"

namespace {
void put(const char* device_path, const uint8_t* data, size_t size) {
  FILE* f = qlp_fopen(device_path, "wb");
  if (!f) abort();
  fwrite(data, 1, size, f);
  fclose(f);
}

bool exists(const char* device_path) {
  struct stat st;
  return qlp_stat(device_path, &st) == 0;
}

void check_command(const AudioCommand& c) {
  if (c.kind < AudioCommand::kNone || c.kind > AudioCommand::kTimer) __builtin_trap();
  if (!std::isfinite(c.value)) __builtin_trap();
  if (c.kind != AudioCommand::kNone && c.kind != AudioCommand::kPause &&
      c.kind != AudioCommand::kStop)
    return;
  if (c.value != 0) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char dir[] = "/tmp/ql-fuzz-audiofiles-XXXXXX";
  if (!mkdtemp(dir)) abort();
  const std::string data = std::string(dir) + "/us";
  const std::string tmp = std::string(dir) + "/tmp";
  ql_set_root(data.c_str(), tmp.c_str());
  for (const std::string& d : {data, tmp, data + "/ql", data + "/ql/state"})
    if (mkdir(d.c_str(), 0755) != 0) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t* body = data + 1;
  const size_t len = size - 1;
  switch (data[0] % 3) {
    case 0: {
      put(kAudioStatusPath, body, len);
      std::optional<AudioStatus> s = audio_status_read();
      if (s) {
        if (!std::isfinite(s->position) || !std::isfinite(s->duration)) __builtin_trap();
        if (s->path.find('\n') != std::string::npos) __builtin_trap();
      }
      qlp_unlink(kAudioStatusPath);
      break;
    }
    case 1: {
      put(kAudioCmdPath, body, len);
      std::optional<std::string> line = audio_take_command();
      // The command is taken once: the file is gone whatever it held.
      if (!line || exists(kAudioCmdPath)) __builtin_trap();
      if (line->size() > 63 || line->find_first_of("\r\n") != std::string::npos)
        __builtin_trap();
      check_command(audio_parse_command(*line));
      check_command(audio_parse_command(
          std::string_view(reinterpret_cast<const char*>(body), len)));
      break;
    }
    default: {
      const std::string pos = audio_position_path("/mnt/us/audiobooks/book/part 01.mp3");
      put(pos.c_str(), body, len);
      std::optional<double> v = audio_read_position(pos);
      if (v && !std::isfinite(*v)) __builtin_trap();
      qlp_unlink(pos.c_str());
      break;
    }
  }
  return 0;
}
