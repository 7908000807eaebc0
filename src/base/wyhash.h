// Wyhash (final version 4, default secret): the program's file-name and layout keys.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// One-shot hash of `n` bytes with the given seed.
uint64_t wyhash(const void* data, size_t n, uint64_t seed);

// The same hash fed in pieces: any split of the input gives the one-shot value.
class WyhashStream {
 public:
  explicit WyhashStream(uint64_t seed = 0);
  // Starts from an internal seed value that is already mixed (as the one-shot form computes it
  // from its seed), so keys with a fixed starting state need no seed that produces it.
  static WyhashStream from_state(uint64_t mixed_seed);

  void update(const void* data, size_t n);
  void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
  // Appends `v` as 8 little-endian bytes.
  void update_u64(uint64_t v);
  uint64_t final() const;

 private:
  struct FromState {};
  WyhashStream(FromState, uint64_t mixed_seed);
  void round(const uint8_t* block);

  static constexpr size_t kBlock = 48;
  uint64_t seed_;
  uint64_t see1_;
  uint64_t see2_;
  uint64_t total_ = 0;
  // Bytes not yet consumed sit at the front; after a block has been consumed, its last 16 bytes
  // stay at the back, because the finish reads up to 16 bytes before the unconsumed tail.
  uint8_t buf_[kBlock] = {};
  size_t buf_len_ = 0;
};

// The hash with seed 0 that names cache files after a path or text.
uint64_t CacheKey(std::string_view bytes);
// Lower-case hexadecimal without leading zeros (at least one digit), as in file names.
std::string cache_key_hex(uint64_t key);
