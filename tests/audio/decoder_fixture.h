// Reading a decoder's output whole.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/audio_decoder.h"

// Every sample the open decoder gives, interleaved, until it ends or holds more than
// `cap_frames` frames (a decoder that never ends cannot hang the test).
inline std::vector<int16_t> decode_all(const DecoderOps& d, int channels, size_t cap_frames) {
  std::vector<int16_t> out;
  int16_t block[4096 * 2];
  for (;;) {
    int n = d.read(block, 4096, channels);
    if (n <= 0 || out.size() / channels > cap_frames) break;
    out.insert(out.end(), block, block + n * channels);
  }
  return out;
}
