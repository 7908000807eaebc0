#include "base/wyhash.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr uint64_t kSecret[4] = {0xa0761d6478bd642full, 0xe7037ed1a0b428dbull,
                                 0x8ebc6af09c88c6e3ull, 0x589965cc75374cc3ull};

void mum(uint64_t* a, uint64_t* b) {
  unsigned __int128 r = static_cast<unsigned __int128>(*a) * *b;
  *a = static_cast<uint64_t>(r);
  *b = static_cast<uint64_t>(r >> 64);
}

uint64_t mix(uint64_t a, uint64_t b) {
  mum(&a, &b);
  return a ^ b;
}

uint64_t read8(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

uint64_t read4(const uint8_t* p) {
  return uint64_t{p[0]} | uint64_t{p[1]} << 8 | uint64_t{p[2]} << 16 | uint64_t{p[3]} << 24;
}

uint64_t read3(const uint8_t* p, size_t k) {
  return uint64_t{p[0]} << 16 | uint64_t{p[k >> 1]} << 8 | p[k - 1];
}

uint64_t mix_seed(uint64_t seed) { return seed ^ mix(seed ^ kSecret[0], kSecret[1]); }

// The finish for inputs of at most 16 bytes.
uint64_t finish_short(const uint8_t* p, size_t len, uint64_t seed) {
  uint64_t a = 0, b = 0;
  if (len >= 4) {
    a = read4(p) << 32 | read4(p + ((len >> 3) << 2));
    b = read4(p + len - 4) << 32 | read4(p + len - 4 - ((len >> 3) << 2));
  } else if (len > 0) {
    a = read3(p, len);
  }
  a ^= kSecret[1];
  b ^= seed;
  mum(&a, &b);
  return mix(a ^ kSecret[0] ^ len, b ^ kSecret[1]);
}

// The finish for longer inputs: `tail` holds `tail_len` (1..48) unconsumed bytes and is preceded
// in memory by at least 16 - tail_len readable bytes of input.
uint64_t finish_long(const uint8_t* tail, size_t tail_len, uint64_t seed, uint64_t total) {
  const uint8_t* p = tail;
  size_t i = tail_len;
  while (i > 16) {
    seed = mix(read8(p) ^ kSecret[1], read8(p + 8) ^ seed);
    i -= 16;
    p += 16;
  }
  uint64_t a = read8(p + i - 16) ^ kSecret[1];
  uint64_t b = read8(p + i - 8) ^ seed;
  mum(&a, &b);
  return mix(a ^ kSecret[0] ^ total, b ^ kSecret[1]);
}
}  // namespace

uint64_t wyhash(const void* data, size_t n, uint64_t seed) {
  WyhashStream s(seed);
  s.update(data, n);
  return s.final();
}

WyhashStream::WyhashStream(uint64_t seed) : WyhashStream(FromState{}, mix_seed(seed)) {}

WyhashStream::WyhashStream(FromState, uint64_t mixed_seed)
    : seed_(mixed_seed), see1_(mixed_seed), see2_(mixed_seed) {}

WyhashStream WyhashStream::from_state(uint64_t mixed_seed) {
  return WyhashStream(FromState{}, mixed_seed);
}

void WyhashStream::round(const uint8_t* p) {
  seed_ = mix(read8(p) ^ kSecret[1], read8(p + 8) ^ seed_);
  see1_ = mix(read8(p + 16) ^ kSecret[2], read8(p + 24) ^ see1_);
  see2_ = mix(read8(p + 32) ^ kSecret[3], read8(p + 40) ^ see2_);
}

void WyhashStream::update(const void* data, size_t n) {
  const auto* in = static_cast<const uint8_t*>(data);
  total_ += n;
  if (n <= kBlock - buf_len_) {
    if (n) memcpy(buf_ + buf_len_, in, n);
    buf_len_ += n;
    return;
  }
  // A block is consumed only when at least one byte follows it: the finish needs the last
  // 1..48 bytes unconsumed.
  size_t i = 0;
  if (buf_len_ > 0) {
    i = kBlock - buf_len_;
    memcpy(buf_ + buf_len_, in, i);
    round(buf_);
    buf_len_ = 0;
  }
  while (n - i > kBlock) {
    round(in + i);
    i += kBlock;
  }
  size_t rest = n - i;
  // Keep the 16 bytes before the tail at the back of the buffer (when the last consumed block
  // was the buffer itself they are there already).
  if (rest < 16 && i >= kBlock) memcpy(buf_ + kBlock - 16, in + i - 16, 16);
  memcpy(buf_, in + i, rest);
  buf_len_ = rest;
}

void WyhashStream::update_u64(uint64_t v) {
  uint8_t b[8];
  for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
  update(b, sizeof b);
}

uint64_t WyhashStream::final() const {
  if (total_ <= 16) return finish_short(buf_, buf_len_, seed_);
  uint64_t seed = seed_;
  if (total_ > kBlock) seed ^= see1_ ^ see2_;
  if (buf_len_ >= 16) return finish_long(buf_, buf_len_, seed, total_);
  // A short tail reads back into the previous block's last bytes.
  uint8_t scratch[16];
  size_t before = 16 - buf_len_;
  memcpy(scratch, buf_ + kBlock - before, before);
  memcpy(scratch + before, buf_, buf_len_);
  return finish_long(scratch + before, buf_len_, seed, total_);
}

uint64_t CacheKey(std::string_view bytes) { return wyhash(bytes.data(), bytes.size(), 0); }

std::string cache_key_hex(uint64_t key) {
  char text[17];
  snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(key));
  return text;
}
