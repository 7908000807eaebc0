// MPEG audio frame headers, read without decoding: whether bytes really hold an MP3 stream
// (a run of consecutive valid frames, not one lucky sync word), and whether its first frame
// carries a length header (Xing/Info or VBRI) so that the file need not be scanned.
#pragma once
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>

struct Mp3FrameHeader {
  int version = 0;  // 1 MPEG-1, 2 MPEG-2, 25 MPEG-2.5
  int layer = 0;    // 1, 2 or 3
  uint32_t rate = 0;
  bool mono = false;
  uint32_t length = 0;  // bytes, header included
};
// The header at the start of `bytes`; none when it is not a valid one (free-format bitrate and
// reserved values are refused).
std::optional<Mp3FrameHeader> mp3_parse_header(std::span<const uint8_t> bytes);

struct Mp3Stream {
  uint64_t first_frame = 0;        // file offset of the first frame of the run
  bool has_length_header = false;  // Xing/Info with a frame count, or VBRI
};
// The offset of the first byte after an ID3v2 tag at the start of `f` (0 without one).
uint64_t id3v2_tag_end(FILE* f);
// Looks from `start` (within its first 64 KiB) for a frame followed by two more of the same
// version, layer and rate back to back, or by frames up to the exact end of the file.
std::optional<Mp3Stream> mp3_find_stream(FILE* f, uint64_t start);
