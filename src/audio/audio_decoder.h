// The decoder adapters behind one table of four operations. Each adapter keeps its open file
// in its own file-level state (one part is open at a time, on the engine thread) and delivers
// interleaved signed 16-bit samples with at most two channels.
#pragma once
#include <algorithm>
#include <cstdint>

#include "audio/audio_chapters.h"

struct AudioInfo {
  uint32_t rate = 0;      // Hz
  uint32_t channels = 0;  // the file's channel count, at most 2
  double duration = 0;    // seconds, 0 when unknown
};

struct DecoderOps {
  const char* name;
  // Opens the host path, fills `info` and the chapter table; false on failure.
  bool (*open)(const char* path, AudioInfo* info, ChapterTable* chapters);
  // Up to `frames` frames of `channels` channels into `buf`; 0 at the end or on an error. A
  // reader may also stop short, down to 0, once a stop is asked (audio_stop_requested); the
  // engine checks its own stop before it takes 0 for the end.
  int (*read)(int16_t* buf, int frames, int channels);
  // Positions the next read exactly at frame trunc(seconds * rate); false when that failed.
  bool (*seek)(double seconds);
  void (*close)();
};

extern const DecoderOps DEC_MP3;
extern const DecoderOps DEC_FLAC;
extern const DecoderOps DEC_WAV;
extern const DecoderOps DEC_VORBIS;
extern const DecoderOps DEC_OPUS;
extern const DecoderOps DEC_MP4;
extern const DecoderOps DEC_ADTS;

// The frame at `seconds`, trunc(seconds * rate): 0 for a negative or NaN time, and at most
// 1e18 so that a far-off target (any later time is asked for when the length is unknown)
// stays a valid integer; the adapter then clamps it to its own end.
inline uint64_t seek_frame(double seconds, double rate) {
  double frame = seconds * rate;
  return frame > 0 ? static_cast<uint64_t>(std::min(frame, 1e18)) : 0;
}

// The decoder for a file, chosen by its first bytes; null when it cannot be read or no decoder
// recognises it.
const DecoderOps* detect_decoder(const char* host_path);

// True when the engine has been asked to stop while running; long decoder loops end early then,
// and what they return then is no end of the part.
bool audio_stop_requested();
