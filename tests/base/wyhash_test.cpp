#include "base/wyhash.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {
std::vector<uint8_t> counting_bytes(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i);
  return v;
}

uint64_t hash_bytes(const std::vector<uint8_t>& v) { return wyhash(v.data(), v.size(), 0); }
}  // namespace

TEST(Wyhash, CheckValues) {
  struct { const char* name; std::string_view text; uint64_t expected; } texts[] = {
      {"empty", "", 0x409638ee2bde459ull},
      {"abc", "abc", 0x2a4f1d7cb516c72ull},
      {"a", "a", 0x28d2053309d28531ull},
  };
  for (auto& c : texts) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CacheKey(c.text), c.expected);
  }
  // Lengths on both sides of the 48-byte block boundary.
  struct { size_t length; uint64_t expected; } blocks[] = {
      {48, 0xce6cc055c4aa2354ull},
      {49, 0xdd118c769fb13542ull},
      {96, 0x4acbe2a4e0e44872ull},
  };
  for (auto& c : blocks) {
    SCOPED_TRACE(c.length);
    EXPECT_EQ(hash_bytes(counting_bytes(c.length)), c.expected);
  }
}

TEST(Wyhash, EveryTwoPieceSplitMatchesOneShot) {
  // Lengths cover the short forms, one block, several blocks and tails shorter than 16 bytes
  // after a block (which read back into the block before).
  for (size_t len : {0, 1, 3, 4, 8, 15, 16, 17, 31, 47, 48, 49, 50, 63, 64, 65, 96, 97, 100, 111,
                     144, 145, 200}) {
    auto bytes = counting_bytes(len);
    uint64_t expected = hash_bytes(bytes);
    for (size_t cut = 0; cut <= len; ++cut) {
      SCOPED_TRACE(testing::Message() << "length " << len << " cut " << cut);
      WyhashStream s;
      s.update(bytes.data(), cut);
      s.update(bytes.data() + cut, len - cut);
      ASSERT_EQ(s.final(), expected);
    }
  }
}

TEST(Wyhash, RandomPiecesMatchOneShot) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    size_t len = rng() % 400;
    std::vector<uint8_t> bytes(len);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    uint64_t seed = rng() % 3 == 0 ? 0 : (uint64_t{rng()} << 32 | rng());
    WyhashStream s(seed);
    size_t at = 0;
    while (at < len) {
      size_t piece = std::min<size_t>(len - at, rng() % 70);
      s.update(bytes.data() + at, piece);
      at += piece;
    }
    SCOPED_TRACE(testing::Message() << "round " << round << " length " << len);
    ASSERT_EQ(s.final(), wyhash(bytes.data(), len, seed));
  }
}

TEST(Wyhash, FinalCanBeAskedBeforeMoreInput) {
  auto bytes = counting_bytes(130);
  WyhashStream s;
  s.update(bytes.data(), 60);
  EXPECT_EQ(s.final(), wyhash(bytes.data(), 60, 0));
  s.update(bytes.data() + 60, 70);
  EXPECT_EQ(s.final(), hash_bytes(bytes));
}

TEST(Wyhash, StartingStateOfSeedZero) {
  // Seed 0 mixes to this internal value; starting there must give the seed-0 hash.
  for (std::string_view text : {"", "abc", "a longer text that crosses one block of forty-eight bytes"}) {
    SCOPED_TRACE(text);
    WyhashStream s = WyhashStream::from_state(0x1ff5c2923a788d2cull);
    s.update(text);
    EXPECT_EQ(s.final(), CacheKey(text));
  }
  WyhashStream other = WyhashStream::from_state(0xad5bdefb69d8a063ull);
  other.update("abc");
  EXPECT_NE(other.final(), CacheKey("abc"));
}

TEST(Wyhash, U64IsLittleEndian) {
  WyhashStream a, b;
  a.update_u64(0x0807060504030201ull);
  const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8};
  b.update(bytes, sizeof bytes);
  EXPECT_EQ(a.final(), b.final());
}

TEST(Wyhash, HexWithoutLeadingZeros) {
  struct { uint64_t key; const char* text; } cases[] = {
      {0, "0"}, {0xf, "f"}, {0x409638ee2bde459ull, "409638ee2bde459"},
      {0xffffffffffffffffull, "ffffffffffffffff"}, {0x0a0b, "a0b"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(cache_key_hex(c.key), c.text);
  }
}
