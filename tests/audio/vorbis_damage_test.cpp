// Damaged Ogg Vorbis headers: comment lengths that overrun their packet must be refused at
// once (a decoder may read them byte by byte for seconds), and a setup header the decoder gives
// up on half-way must leave nothing allocated behind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "audio/audio_decoder.h"
#include "support/audio_fixtures.h"
#include "support/event_ceiling.h"
#include "support/temp_dir.h"

#if defined(__SANITIZE_ADDRESS__)
#define QL_HEAP_COUNTED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QL_HEAP_COUNTED 1
#endif
#endif
#ifdef QL_HEAP_COUNTED
// From the sanitizer runtime (GCC ships no header declaring it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {
using Clock = std::chrono::steady_clock;

void put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) s[at + i] = static_cast<char>(v >> (8 * i));
}
uint32_t get32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v |= uint32_t{static_cast<uint8_t>(s[at + i])} << (8 * i);
  return v;
}

// One Ogg page holding whole packets. The CRC stays zero: nothing reading headers checks it.
std::string ogg_page(uint8_t type, uint32_t sequence, const std::vector<std::string>& packets) {
  std::string lacing, body;
  for (const std::string& p : packets) {
    lacing.append(p.size() / 255, '\xff');
    lacing += static_cast<char>(p.size() % 255);
    body += p;
  }
  std::string h("OggS\0", 5);
  h += static_cast<char>(type);
  h.append(8, '\0');        // granule
  h += std::string("\x51\x4c\x00\x00", 4);  // serial
  h.append(4, '\0');
  put32(h, 18, sequence);
  h.append(4, '\0');        // CRC
  h += static_cast<char>(lacing.size());
  return h + lacing + body;
}

// Vorbis packs bits from the lowest bit of each byte up.
struct BitWriter {
  std::string out;
  int used = 8;
  void put(uint32_t value, int bits) {
    for (int i = 0; i < bits; i++) {
      if (used == 8) {
        out += '\0';
        used = 0;
      }
      if ((value >> i) & 1) out.back() = static_cast<char>(out.back() | (1 << used));
      used++;
    }
  }
};

std::string identification() {
  std::string p("\x01vorbis", 7);
  p.append(4, '\0');                 // version
  p += '\x01';                       // one channel
  p += std::string("\x44\xac\0\0", 4);  // 44100 Hz
  p.append(12, '\0');                // bitrates
  p += '\xb8';                       // block sizes 256 and 2048
  p += '\x01';                       // framing
  return p;
}

std::string empty_comments() {
  std::string p("\x03vorbis\x01\0\0\0t\0\0\0\0\x01", 17);
  return p;
}

// A setup header whose first codebook is sparse with `entries` entries: stb takes a
// temporary buffer of that many bytes for its code lengths before it reads a single one.
std::string sparse_setup(uint32_t entries, bool bad_length) {
  BitWriter w;
  w.put(bad_length ? 0 : 1, 8);  // codebooks - 1
  w.put(0x564342, 24);           // codebook sync
  w.put(1, 16);                  // dimensions
  w.put(entries, 24);
  w.put(0, 1);                   // not ordered
  w.put(1, 1);                   // sparse
  if (bad_length) {
    w.put(1, 1);                 // first entry present ...
    w.put(31, 5);                // ... with a code length of 32, which is invalid
  } else {
    for (uint32_t i = 0; i < entries; i++) w.put(0, 1);  // every entry absent
    w.put(0, 4);                 // no lookup table
    w.put(0x123456, 24);         // the second codebook's sync is wrong
  }
  return std::string("\x05vorbis", 7) + w.out;
}

bool opens(const std::string& path) {
  AudioInfo info;
  ChapterTable chapters;
  bool ok = DEC_VORBIS.open(path.c_str(), &info, &chapters);
  DEC_VORBIS.close();
  return ok;
}

TEST(DecoderVorbis, OverrunningCommentLengthsAreRefusedQuickly) {
  TempDir dir;
  const std::string seed = dir / "seed.ogg";
  ASSERT_TRUE(make_test_audio(seed, 0.3, 44100, 1, "-c:a libvorbis", "-metadata title=Seed"));
  const std::string good = read_file(seed);
  // The identification header fills the first page alone (27 + 1 + 30 bytes); the comment
  // packet opens the second page.
  constexpr size_t kPage2 = 58;
  ASSERT_GT(good.size(), kPage2 + 27);
  const size_t nseg = static_cast<uint8_t>(good[kPage2 + 26]);
  size_t packet = 0, s = 0;
  for (; s < nseg; s++) {
    const uint8_t lv = static_cast<uint8_t>(good[kPage2 + 27 + s]);
    packet += lv;
    if (lv < 255) break;
  }
  ASSERT_LT(s, nseg);
  const size_t body = kPage2 + 27 + nseg;
  ASSERT_EQ(good.substr(body, 7), std::string("\x03vorbis", 7));
  const size_t vendor_at = body + 7;
  const size_t count_at = vendor_at + 4 + get32(good, vendor_at);
  ASSERT_EQ(get32(good, count_at), 2u);  // ffmpeg's encoder tag and our title
  const size_t first_at = count_at + 4;
  const size_t second_at = first_at + 4 + get32(good, first_at);
  const size_t end = body + packet;

  struct Case {
    const char* name;
    size_t at;
    uint32_t value;
  };
  const Case cases[] = {
      {"vendor length of 1.5 GiB", vendor_at, 0x60000000},
      {"comment count of 256 Mi", count_at, 0x10000000},
      {"first comment of 1.5 GiB", first_at, 0x60000000},
      // The saved fuzzer input: the second length runs off the packet's end into the next page.
      {"second comment of 1 GiB", second_at, 0x40000000},
      {"second comment one byte too long", second_at,
       static_cast<uint32_t>(end - second_at - 4 + 1)},
      {"one comment more than present", count_at, 3},
  };
  ASSERT_TRUE(opens(seed));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bad = good;
    put32(bad, c.at, c.value);
    const std::string path = dir / "bad.ogg";
    write_file(path, bad);
    const auto start = Clock::now();
    EXPECT_FALSE(opens(path));
    EXPECT_LT(Clock::now() - start, kEventCeiling);
  }
}

TEST(DecoderVorbis, FailedSetupLeavesNothingAllocated) {
  TempDir dir;
  struct Case {
    const char* name;
    uint32_t entries;
    bool bad_length;
  };
  const Case cases[] = {
      {"invalid code length in a 4 Mi-entry sparse codebook", 4u << 20, true},
      {"bad sync after a 100000-entry sparse codebook", 100000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / "setup.ogg";
    write_file(path, ogg_page(2, 0, {identification()}) +
                         ogg_page(0, 1, {empty_comments(), sparse_setup(c.entries, c.bad_length)}));
    ASSERT_FALSE(opens(path));  // first run: one-time allocations of the libraries
#ifdef QL_HEAP_COUNTED
    const size_t before = __sanitizer_get_current_allocated_bytes();
    for (int i = 0; i < 3; i++) EXPECT_FALSE(opens(path));
    EXPECT_LT(__sanitizer_get_current_allocated_bytes(), before + c.entries / 2);
#endif
  }
}

// A six-channel setup needs more than the first arena; the open retries with a larger one.
TEST(DecoderVorbis, LargeSetupsStillOpen) {
  TempDir dir;
  const std::string path = dir / "six.ogg";
  ASSERT_TRUE(make_test_audio(path, 0.5, 48000, 6, "-ac 6 -c:a libvorbis -q:a 10"));
  AudioInfo info;
  ChapterTable chapters;
  ASSERT_TRUE(DEC_VORBIS.open(path.c_str(), &info, &chapters));
  EXPECT_EQ(info.rate, 48000u);
  EXPECT_EQ(info.channels, 2u);
  EXPECT_NEAR(info.duration, 0.5, 0.01);
  int16_t buf[4096 * 2];
  int total = 0;
  for (int n; (n = DEC_VORBIS.read(buf, 4096, 2)) > 0;) total += n;
  EXPECT_NEAR(total, 24000, 10);
  DEC_VORBIS.close();
}
}  // namespace
