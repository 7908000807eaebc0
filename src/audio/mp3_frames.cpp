#include "audio/mp3_frames.h"

#include <vector>

#include "audio/audio_chapters.h"
#include "base/byte_reader.h"

namespace {
constexpr size_t kSearchBytes = 65536;
constexpr size_t kLookBeyond = 3 * 2881;  // room for three of the longest frames
constexpr int kRunFrames = 3;

// kbps by [MPEG-1 ? 0 : 1][layer - 1][index]; index 0 (free format) and 15 are refused.
constexpr uint16_t kBitrates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
constexpr uint32_t kRates[3] = {44100, 48000, 32000};  // MPEG-1; halved for 2, quartered for 2.5

bool same_stream(const Mp3FrameHeader& a, const Mp3FrameHeader& b) {
  return a.version == b.version && a.layer == b.layer && a.rate == b.rate;
}

// The frame count of a Xing/Info or VBRI header in the first frame.
bool has_length_header(const ByteReader& frame, const Mp3FrameHeader& h) {
  const size_t side = h.version == 1 ? (h.mono ? 17 : 32) : (h.mono ? 9 : 17);
  const size_t xing = 4 + side;
  if (frame.matches_at(xing, "Xing") || frame.matches_at(xing, "Info"))
    return (frame.u8_at(xing + 7) & 1) != 0;
  constexpr size_t kVbri = 4 + 32;
  return frame.matches_at(kVbri, "VBRI") && frame.has(kVbri, 18);
}
}  // namespace

std::optional<Mp3FrameHeader> mp3_parse_header(std::span<const uint8_t> bytes) {
  const ByteReader b(bytes);
  if (!b.has(0, 4) || b.u8_at(0) != 0xFF || (b.u8_at(1) & 0xE0) != 0xE0) return std::nullopt;
  const int version_bits = (b.u8_at(1) >> 3) & 3;
  const int layer_bits = (b.u8_at(1) >> 1) & 3;
  const int bitrate_index = b.u8_at(2) >> 4;
  const int rate_index = (b.u8_at(2) >> 2) & 3;
  if (version_bits == 1 || layer_bits == 0 || bitrate_index == 0 || bitrate_index == 15 ||
      rate_index == 3 || (b.u8_at(3) & 3) == 2)
    return std::nullopt;
  Mp3FrameHeader h;
  h.version = version_bits == 3 ? 1 : version_bits == 2 ? 2 : 25;
  h.layer = 4 - layer_bits;
  h.rate = kRates[rate_index] / (h.version == 1 ? 1 : h.version == 2 ? 2 : 4);
  h.mono = (b.u8_at(3) >> 6) == 3;
  uint32_t kbps = kBitrates[h.version == 1 ? 0 : 1][h.layer - 1][bitrate_index];
  const uint32_t padding = (b.u8_at(2) >> 1) & 1;
  if (h.layer == 1) {
    h.length = (12 * kbps * 1000 / h.rate + padding) * 4;
  } else {
    uint32_t factor = h.layer == 3 && h.version != 1 ? 72 : 144;
    h.length = factor * kbps * 1000 / h.rate + padding;
  }
  return h;
}

uint64_t id3v2_tag_end(FILE* f) {
  uint8_t h[10];
  if (fseeko(f, 0, SEEK_SET) != 0) return 0;
  const ByteReader head(h, fread(h, 1, sizeof h, f));
  if (!head.has(0, sizeof h) || !head.matches_at(0, "ID3")) return 0;
  return 10 + uint64_t{id3_syncsafe(head.u32be_at(6))};
}

std::optional<Mp3Stream> mp3_find_stream(FILE* f, uint64_t start) {
  if (fseeko(f, static_cast<off_t>(start), SEEK_SET) != 0) return std::nullopt;
  std::vector<uint8_t> buf(kSearchBytes + kLookBeyond);
  buf.resize(fread(buf.data(), 1, buf.size(), f));
  const bool whole_file = feof(f) != 0;
  const std::span<const uint8_t> all(buf);
  for (size_t at = 0; at < buf.size() && at < kSearchBytes; at++) {
    std::optional<Mp3FrameHeader> first = mp3_parse_header(all.subspan(at));
    if (!first) continue;
    size_t next = at;
    int frames = 0;
    bool ends_at_file_end = false;
    for (std::optional<Mp3FrameHeader> h = first; h && same_stream(*h, *first);) {
      frames++;
      if (frames == kRunFrames || h->length > buf.size() - next) break;
      next += h->length;
      if (next == buf.size()) {
        ends_at_file_end = whole_file;
        break;
      }
      h = mp3_parse_header(all.subspan(next));
    }
    if (frames < kRunFrames && !ends_at_file_end) continue;
    Mp3Stream s;
    s.first_frame = start + at;
    s.has_length_header = has_length_header(
        ByteReader(all.subspan(at, std::min<size_t>(first->length, buf.size() - at))), *first);
    return s;
  }
  return std::nullopt;
}
