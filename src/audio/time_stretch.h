// Tempo change without a change of pitch: an overlap-add of fixed 1024-frame output blocks. For
// each block it searches, around the nominal analysis position, for the input segment that
// best continues the sound just played and crossfades into it with a raised-cosine ramp.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class TimeStretch {
 public:
  static constexpr int kBlock = 1024;
  static constexpr int kReach = 256;  // search offsets -256..+256
  using Emit = std::function<void(const int16_t* frames, int count)>;

  TimeStretch();
  // Forgets buffered input and the previous block (seek, speed change, part open).
  void reset();
  // Frees the buffer as well.
  void release();
  // Appends `n` frames of `channels` (1 or 2) and emits every 1024-frame block that can be made
  // at `speed` percent. False when the buffer cannot grow (the frames are dropped).
  bool push(const int16_t* frames, int n, int channels, int speed, const Emit& emit);
  // At the end of the input: emits what is still held, as much output as the speed gives for
  // the input not yet consumed (input shorter than one search window plays unchanged); then
  // resets.
  void flush(int speed, const Emit& emit);

 private:
  std::array<double, kBlock + 1> hann;
  std::vector<int16_t> ib;  // interleaved input; its size in frames is icap
  size_t icap = 0;
  int ich = 0;  // channels of the frames in ib
  size_t ilen = 0;
  double apos = 0;
  std::array<int16_t, kBlock * 2> prev{};
  bool have_prev = false;
};
