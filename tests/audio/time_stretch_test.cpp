#include "audio/time_stretch.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
struct Stretched {
  std::vector<int16_t> out;
  int blocks = 0;
};

// Feeds `in` (interleaved) in decoder-sized blocks of 4096 frames.
Stretched stretch(const std::vector<int16_t>& in, int channels, int speed) {
  TimeStretch ts;
  Stretched r;
  auto emit = [&](const int16_t* f, int n) {
    r.out.insert(r.out.end(), f, f + n * channels);
    r.blocks++;
  };
  size_t frames = in.size() / channels;
  for (size_t at = 0; at < frames; at += 4096) {
    int n = static_cast<int>(std::min<size_t>(4096, frames - at));
    EXPECT_TRUE(ts.push(in.data() + at * channels, n, channels, speed, emit));
  }
  return r;
}

std::vector<int16_t> tone(double hz, double seconds, int rate = 44100) {
  std::vector<int16_t> s(static_cast<size_t>(seconds * rate));
  for (size_t i = 0; i < s.size(); i++) s[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * hz * i / rate));
  return s;
}

int zero_crossings(const std::vector<int16_t>& s, size_t from, size_t to) {
  int n = 0;
  for (size_t i = from + 1; i < to; i++) n += (s[i - 1] < 0) != (s[i] < 0);
  return n;
}

TEST(TimeStretch, ToneKeepsItsPitchAndShortens) {
  for (int speed : {150, 200, 300, 75, 50}) {
    SCOPED_TRACE(speed);
    std::vector<int16_t> in = tone(440, 4.0);
    Stretched r = stretch(in, 1, speed);
    double want = in.size() * 100.0 / speed;
    // Short by what stays buffered (2304 input frames) and the silent first block.
    EXPECT_NEAR(static_cast<double>(r.out.size()), want, (2304 + 1024) * 100.0 / speed + 1024);
    // Count over the middle of the output, away from the ends.
    size_t a = r.out.size() / 4, b = r.out.size() * 3 / 4;
    double hz = zero_crossings(r.out, a, b) / 2.0 / ((b - a) / 44100.0);
    EXPECT_NEAR(hz, 440.0, 440.0 * 0.01);
  }
}

TEST(TimeStretch, BlocksConsumeSpeedTimesTheirLength) {
  struct Case {
    int speed;
    size_t input_frames;
    int blocks;  // emitted: every analysis block but the first
  };
  // A block is made while trunc(apos) + 2304 < frames held; apos grows by 1024 * speed / 100.
  const Case kCases[] = {
      {200, 2304, 0},  {200, 2305, 0},  {200, 4353, 1}, {200, 4352, 0},
      {75, 2305 + 768, 1}, {75, 2304 + 768, 0}, {150, 2305 + 1536 * 3, 3},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.speed) + " " + std::to_string(c.input_frames));
    Stretched r = stretch(std::vector<int16_t>(c.input_frames, 100), 1, c.speed);
    EXPECT_EQ(r.blocks, c.blocks);
  }
}

TEST(TimeStretch, SilenceChoosesTheFirstReachableOffset) {
  // Left channel silent (every score 0), right channel counting frames: the right channel of
  // the output shows which input frames each block was taken from.
  const int frames = 20000;
  std::vector<int16_t> in(frames * 2);
  for (int i = 0; i < frames; i++) in[2 * i + 1] = static_cast<int16_t>(i);
  Stretched r = stretch(in, 2, 100);
  ASSERT_GE(r.blocks, 3);
  // Block 1 (a = 1024): offsets below -1024 are out of reach, so -256 wins: b = 768; the block
  // fades from prev (frames 1024..2047, from block 0 at b = 0) into frames 768.. .
  auto right = [&](int block, int i) { return r.out[(block * 1024 + i) * 2 + 1]; };
  EXPECT_EQ(right(0, 0), 1024);      // hann[0] = 0: all prev
  EXPECT_EQ(right(0, 512), static_cast<int16_t>((1024 + 512) * 0.5 + (768 + 512) * 0.5));
  // Block 2 (a = 2048): b = 1792; prev came from block 1's b + 1024 = 1792.
  EXPECT_EQ(right(1, 0), 1792);
  for (int16_t l : std::vector<int16_t>{r.out[0], r.out[1000], r.out[4000]}) EXPECT_EQ(l, 0);
}

TEST(TimeStretch, GoldenOutputForAFixedInput) {
  // A fixed stereo signal (two tones and a pseudo-random hiss), stretched at several speeds.
  std::vector<int16_t> in(44100 * 2 * 2);
  uint32_t seed = 1;
  for (size_t i = 0; i < in.size() / 2; i++) {
    seed = seed * 1664525 + 1013904223;
    int hiss = static_cast<int>(seed >> 24) - 128;
    in[2 * i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 300 * i / 44100.0) + hiss * 8);
    in[2 * i + 1] = static_cast<int16_t>(6000 * std::sin(2 * M_PI * 523 * i / 44100.0) - hiss * 4);
  }
  struct Case {
    int speed;
    size_t frames;
    uint64_t fnv;
  };
  // Any change to the search, the integer scoring or the crossfade rounding changes these.
  const Case kCases[] = {{150, 56320, 0xdb7dcaa4761b6081ull},
                         {75, 113664, 0x0f11c1384bfe8414ull},
                         {300, 27648, 0xf74ef0a7935e3c74ull}};
  for (const Case& c : kCases) {
    Stretched r = stretch(in, 2, c.speed);
    uint64_t h = 1469598103934665603ull;
    for (int16_t s : r.out) {
      h = (h ^ static_cast<uint16_t>(s)) * 1099511628211ull;
    }
    SCOPED_TRACE(c.speed);
    EXPECT_EQ(r.out.size() / 2, c.frames);
    EXPECT_EQ(h, c.fnv);
  }
}

TEST(TimeStretch, ResetStartsOverWithASilentBlock) {
  TimeStretch ts;
  int blocks = 0;
  auto emit = [&](const int16_t*, int) { blocks++; };
  std::vector<int16_t> in(3400, 7);
  ts.push(in.data(), 3400, 1, 100, emit);  // a = 0 (silent), a = 1024 (emitted)
  EXPECT_EQ(blocks, 1);
  ts.reset();
  ts.push(in.data(), 3400, 1, 100, emit);
  EXPECT_EQ(blocks, 2);
}
}  // namespace

namespace {
// Flushed at the end, every input frame but the first block's share comes out at the speed's
// ratio; input shorter than one search window comes out unchanged.
TEST(TimeStretch, FlushGivesTheWholeLength) {
  struct Case {
    int speed;
    size_t frames;
    int channels;
  };
  const Case kCases[] = {{150, 44100 * 20, 2}, {300, 44100 * 20, 2}, {300, 44100 * 20 + 77, 1},
                         {75, 8000 * 7, 1},    {50, 30000, 2},       {250, 2000, 1},
                         {300, 3072 * 100 + 2592, 2}, {300, 3072 * 100 + 2200, 2}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.speed) + "% of " + std::to_string(c.frames));
    std::vector<int16_t> in = tone(300, static_cast<double>(c.frames) / 44100);
    in.resize(c.frames);
    std::vector<int16_t> interleaved;
    for (int16_t s : in) interleaved.insert(interleaved.end(), static_cast<size_t>(c.channels), s);
    TimeStretch ts;
    size_t out = 0;
    auto emit = [&](const int16_t*, int n) { out += static_cast<size_t>(n); };
    for (size_t at = 0; at < c.frames; at += 4096) {
      int n = static_cast<int>(std::min<size_t>(4096, c.frames - at));
      ASSERT_TRUE(ts.push(interleaved.data() + at * c.channels, n, c.channels, c.speed, emit));
    }
    ts.flush(c.speed, emit);
    const double want = c.frames < 2304 ? c.frames : c.frames * 100.0 / c.speed - 1024;
    // Above 225 % a block consumes more than the 2304 frames it needs to exist, so the last
    // full block may reach past the input's end: up to that much more (real) output.
    const double overshoot = std::max(0.0, 1024 - 2304 * 100.0 / c.speed);
    EXPECT_GE(static_cast<double>(out), want - 2);
    EXPECT_LE(static_cast<double>(out), want + overshoot + 2);
  }
}
}  // namespace
