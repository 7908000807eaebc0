#include "audio/audio_chapters.h"

#include "base/utf8.h"
#include "base/text_decode.h"

#include <algorithm>

namespace {
// Control characters become spaces (each chapter is one line of a tab-separated file) and
// bytes that are not UTF-8 become U+FFFD, so the player only ever sees clean text.
std::string make_title_safe(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  while (!in.empty()) {
    size_t n = utf8_valid_length(in);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      n = 1;
    } else if (n == 1 && (static_cast<uint8_t>(in[0]) < 0x20 || in[0] == 0x7F)) {
      out += ' ';
    } else {
      out.append(in.substr(0, n));
    }
    in.remove_prefix(n);
  }
  return out;
}
}  // namespace

void ChapterTable::add(double start, std::string title) {
  if (items_.size() >= kMaxChapters) return;
  items_.push_back({start, make_title_safe(title)});
}

void ChapterTable::sort_by_start() {
  for (size_t i = 1; i < items_.size(); i++) {
    Chapter c = std::move(items_[i]);
    size_t j = i;
    for (; j > 0 && items_[j - 1].start > c.start; j--) items_[j] = std::move(items_[j - 1]);
    items_[j] = std::move(c);
  }
}

void cut_utf8(std::string& text, size_t limit) { text.resize(utf8_prefix_length(text, limit)); }

std::string utf16_title(std::span<const uint8_t> bytes, bool big_endian, size_t limit) {
  size_t units = 0;
  while (bytes.size() - units >= 2 && (bytes[units] | bytes[units + 1]) != 0) units += 2;
  std::string out;
  utf16_to_utf8(out, {reinterpret_cast<const char*>(bytes.data()), units}, big_endian);
  cut_utf8(out, limit);
  return out;
}
