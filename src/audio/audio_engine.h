// The audiobook engine: one background thread that plays a part (one audio file) and follows on
// to the next part of its folder. The core steers it only through files in /mnt/us/ql/state
// (`audio.cmd` in, `audio.status`, `audio.err`, `audio.chapters` out) and the two words behind
// ql_audio_start / ql_audio_stop.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Starts the engine thread on `path` (a device path) after stopping any running one. `speed` in
// percent, `timer_s` sleep-timer seconds (0 none), `auto_advance` non-zero to go on to the next
// part, `start_pos` seconds (negative: resume from the part's position file). 1 when started.
int ql_audio_start(const char* path, int speed, uint32_t timer_s, uint32_t auto_advance,
                   double start_pos);
// Asks the engine to stop and waits up to 5 s for its thread to end.
void ql_audio_stop();
// True while an engine thread is starting or running.
bool ql_audio_alive();
// The engine body, run on the engine thread; 0 when the first part cannot be opened.
int ql_audio_engine(const char* path, int speed, uint32_t timer_s, uint32_t auto_advance,
                    double start_pos);
// Drops one command line into `audio.cmd` (replacing one not yet taken).
void ql_audio_cmd(const char* text);
// 1 when this program's engine runs and a fresh `audio.status` (at most 5 s old) says it plays.
int ql_audio_playing();

// What the engine last reported in `audio.status`.
struct AudioStatus {
  double position = 0;
  double duration = 0;
  int playing = 0;
  uint32_t rate = 0;
  int channels = 0;
  long timer_left = 0;
  std::string path;
};
// Reads `audio.status`; empty when it is missing or its first three fields do not parse.
std::optional<AudioStatus> audio_status_read();

// One parsed `audio.cmd` line.
struct AudioCommand {
  enum Kind { kNone, kSeekBy, kSeekTo, kPause, kStop, kSpeed, kTimer };
  Kind kind = kNone;
  double value = 0;
};
AudioCommand audio_parse_command(std::string_view line);

// AudioPositionKey: the djb2-xor hash of a part's device path, naming its position file.
uint64_t audio_position_key(std::string_view device_path);
// "/mnt/us/ql/state/audio-<key>.pos" for a part's device path.
std::string audio_position_path(std::string_view device_path);
