// The chapter table of the open part and the readers that fill it from a file's own metadata:
// ID3v2 CHAP frames (MP3), CHAPTERnnn comments (FLAC, Vorbis, Opus) and MP4 chapters (a Nero
// "chpl" list or a QuickTime text track).
#pragma once
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct Chapter {
  double start = 0;   // seconds
  std::string title;  // UTF-8, never holding a tab, CR or LF
};

class ChapterTable {
 public:
  static constexpr size_t kMaxChapters = 512;
  // Appends unless the table is full (a 513th chapter is dropped); the title is made safe for
  // the one-line-per-chapter file.
  void add(double start, std::string title);
  void clear() { items_.clear(); }
  // Stable by start time: an entry moves before another only when that one starts later.
  void sort_by_start();
  size_t size() const { return items_.size(); }
  const std::vector<Chapter>& items() const { return items_; }

 private:
  std::vector<Chapter> items_;
};

// Cuts UTF-8 text to at most `limit` bytes, before the character that crosses the limit.
void cut_utf8(std::string& text, size_t limit);
// UTF-16 text to UTF-8 of at most `limit` bytes: pairs are combined, a lone surrogate becomes
// U+FFFD, a unit 0 ends the text. A character that does not fit whole is left out.
std::string utf16_title(std::span<const uint8_t> bytes, bool big_endian, size_t limit);

// CHAPTERnnn=H:M:S and CHAPTERnnnNAME=title comments gathered before they become chapters.
struct CommentSlots {
  static constexpr int kSlots = 512;
  std::array<double, kSlots> vc_time;
  std::array<std::optional<std::string>, kSlots> vc_name;
  bool vc_any = false;
  CommentSlots();
};
void vc_reset(CommentSlots& s);
void vc_comment(CommentSlots& s, std::string_view text);
// The comments of an "OpusTags" packet (magic included).
void vc_block(CommentSlots& s, std::span<const uint8_t> packet);
// Turns the slots into chapters (only when some slot got a time), sorted by start.
void vc_finish(const CommentSlots& s, ChapterTable& out);

// An ID3v2 size: seven bits in each byte of a big-endian 32-bit field, so the tag never holds a
// byte that looks like the start of an MP3 frame.
constexpr uint32_t id3_syncsafe(uint32_t field) {
  return (field >> 24 & 0x7F) << 21 | (field >> 16 & 0x7F) << 14 | (field >> 8 & 0x7F) << 7 | (field & 0x7F);
}
// Reads the ID3v2 tag at the start of `f` for CHAP frames.
void id3_read_chapters(FILE* f, ChapterTable& out);
// Walks the MP4 boxes of `f` for a "chpl" list or a chapter text track.
void mp4_read_chapters(FILE* f, ChapterTable& out);
