#include "audio/time_stretch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace {
constexpr int kLookahead = TimeStretch::kReach + 2 * TimeStretch::kBlock;  // 2304
constexpr size_t kTrimAbove = 8192;
constexpr size_t kTrimKeep = 2048;
constexpr int kSearchStep = 4;
constexpr int kTapStep = 8;
}  // namespace

TimeStretch::TimeStretch() {
  for (int i = 0; i < kBlock; i++) hann[i] = 0.5 - 0.5 * std::cos(M_PI * i / kBlock);
  hann[kBlock] = 1.0;
}

void TimeStretch::reset() {
  ilen = 0;
  apos = 0;
  have_prev = false;
}

void TimeStretch::release() {
  reset();
  ib = {};
  icap = 0;
}

bool TimeStretch::push(const int16_t* frames, int n, int channels, int speed, const Emit& emit) {
  if (n <= 0) return true;
  const size_t ch = static_cast<size_t>(channels);
  if (channels != ich) {
    reset();
    ich = channels;
    icap = ib.size() / ch;
  }
  if (ilen + n > icap) {
    size_t want = 2 * (ilen + n);
    try {
      ib.resize(want * ch);
    } catch (const std::bad_alloc&) {
      return false;
    }
    icap = want;
  }
  memcpy(ib.data() + ilen * ch, frames, static_cast<size_t>(n) * ch * sizeof(int16_t));
  ilen += n;

  int16_t out[kBlock * 2];
  while (static_cast<size_t>(apos) + kLookahead < ilen) {
    const long a = static_cast<long>(apos);
    long b = a;
    if (have_prev) {
      int64_t best_score = -1;
      int best = 0;
      for (int k = -kReach; k <= kReach; k += kSearchStep) {
        if (a + k < 0) continue;
        const int16_t* in = ib.data() + (a + k) * ch;
        int64_t score = 0;
        for (int t = 0; t < kBlock; t += kTapStep)
          score += (int32_t{in[t * ch]} * int32_t{prev[t * ch]}) / 256;
        if (score > best_score) {
          best_score = score;
          best = k;
        }
      }
      b = a + best;
      const int16_t* in = ib.data() + b * ch;
      for (int i = 0; i < kBlock; i++)
        for (size_t c = 0; c < ch; c++)
          out[i * ch + c] = static_cast<int16_t>(prev[i * ch + c] * (1.0 - hann[i]) +
                                                 in[i * ch + c] * hann[i]);
      emit(out, kBlock);
    }
    memcpy(prev.data(), ib.data() + (b + kBlock) * ch, kBlock * ch * sizeof(int16_t));
    have_prev = true;
    apos += kBlock * speed / 100.0;
    if (static_cast<size_t>(apos) > kTrimAbove) {
      size_t d = static_cast<size_t>(apos) - kTrimKeep;
      memmove(ib.data(), ib.data() + d * ch, (ilen - d) * ch * sizeof(int16_t));
      ilen -= d;
      apos -= d;
    }
  }
  return true;
}

void TimeStretch::flush(int speed, const Emit& emit) {
  const size_t a = static_cast<size_t>(apos);
  if (ich > 0 && ilen > a) {
    const size_t ch = static_cast<size_t>(ich);
    if (!have_prev) {
      // Too little input for even one search window: it plays as it is.
      for (size_t at = a; at < ilen; at += kBlock)
        emit(ib.data() + at * ch, static_cast<int>(std::min<size_t>(kBlock, ilen - at)));
    } else {
      // Silence behind the input lets the blocks run up to its last frame; the output stops
      // where the input's share of it ends.
      size_t owed = static_cast<size_t>(std::lround((ilen - a) * 100.0 / speed));
      const std::vector<int16_t> silence(kLookahead * ch);
      push(silence.data(), kLookahead, ich, speed, [&](const int16_t* f, int n) {
        const int m = static_cast<int>(std::min<size_t>(owed, n));
        if (m > 0) emit(f, m);
        owed -= m;
      });
    }
  }
  reset();
}
