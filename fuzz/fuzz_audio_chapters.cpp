// The chapter readers of audio files: whatever the metadata holds, every chapter has a finite
// start and a title of valid UTF-8 that fits on one line of `audio.chapters`, and the readers
// that sort (ID3 and comment chapters) hand back ascending starts.
//
// Input: byte 0 picks the reader, the rest is its input:
//   0 ID3v2 tag (a file start)       1 MP4 boxes (a whole file)
//   2 comments, one per line         3 an "OpusTags" packet
//   4 UTF-16 text (byte 1: order and limit, then the units)
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "audio/audio_chapters.h"

namespace {
bool valid_utf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<uint8_t>(s[i]);
    size_t n = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3
             : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || s.size() - i < n) return false;
    for (size_t k = 1; k < n; k++)
      if ((static_cast<uint8_t>(s[i + k]) & 0xC0) != 0x80) return false;
    const auto c1 = static_cast<uint8_t>(n > 1 ? s[i + 1] : 0);
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0) || (c == 0xF0 && c1 < 0x90) ||
        (c == 0xF4 && c1 >= 0x90))
      return false;  // overlong, surrogate or beyond U+10FFFF
    i += n;
  }
  return true;
}

void check(const ChapterTable& t, bool sorted) {
  if (t.size() > ChapterTable::kMaxChapters) __builtin_trap();
  double last = -INFINITY;
  for (const Chapter& c : t.items()) {
    if (!std::isfinite(c.start)) __builtin_trap();
    if (sorted && c.start < last) __builtin_trap();
    last = c.start;
    if (!valid_utf8(c.title) || c.title.find_first_of("\t\r\n") != std::string::npos)
      __builtin_trap();
  }
}

// The readers take a FILE*; a memory stream keeps the run off the disk.
template <class Read>
void from_memory(const uint8_t* data, size_t size, Read&& read) {
  if (size == 0) return;
  FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!f) return;
  read(f);
  fclose(f);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t* body = data + 1;
  const size_t len = size - 1;
  ChapterTable table;
  switch (data[0] % 5) {
    case 0:
      from_memory(body, len, [&](FILE* f) { id3_read_chapters(f, table); });
      check(table, true);
      break;
    case 1:
      from_memory(body, len, [&](FILE* f) { mp4_read_chapters(f, table); });
      check(table, false);  // MP4 chapters keep the file's order
      break;
    case 2: {
      CommentSlots slots;
      std::string_view text(reinterpret_cast<const char*>(body), len);
      while (!text.empty()) {
        size_t end = text.find('\n');
        vc_comment(slots, text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
      }
      vc_finish(slots, table);
      check(table, true);
      break;
    }
    case 3: {
      CommentSlots slots;
      vc_block(slots, std::span<const uint8_t>(body, len));
      vc_finish(slots, table);
      check(table, true);
      break;
    }
    default: {
      if (len == 0) return 0;
      const size_t limit = body[0] >> 1;
      std::string s = utf16_title(std::span<const uint8_t>(body + 1, len - 1), body[0] & 1, limit);
      if (s.size() > limit || !valid_utf8(s)) __builtin_trap();
      break;
    }
  }
  return 0;
}
