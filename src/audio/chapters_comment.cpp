// CHAPTERnnn comments, as FLAC, Vorbis and Opus files carry them:
// CHAPTER001=00:10:00.000 gives a start, CHAPTER001NAME=Title its title.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "audio/audio_chapters.h"
#include "base/byte_reader.h"

namespace {
constexpr size_t kTimeTextMax = 39;
constexpr size_t kNameMax = 200;

bool starts_with_nocase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); i++) {
    char c = s[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != prefix[i]) return false;
  }
  return true;
}
}  // namespace

CommentSlots::CommentSlots() { vc_reset(*this); }

void vc_reset(CommentSlots& s) {
  s.vc_time.fill(-1.0);
  for (auto& name : s.vc_name) name.reset();
  s.vc_any = false;
}

void vc_comment(CommentSlots& s, std::string_view text) {
  if (text.size() < 11 || !starts_with_nocase(text, "CHAPTER")) return;
  size_t at = 7;
  int n = 0;
  size_t digits = 0;
  while (at < text.size() && digits < 4 && text[at] >= '0' && text[at] <= '9') {
    n = n * 10 + (text[at] - '0');
    at++;
    digits++;
  }
  if (digits == 0 || n >= CommentSlots::kSlots) return;
  std::string_view rest = text.substr(at);
  if (!rest.empty() && rest[0] == '=') {
    char value[kTimeTextMax + 1];
    size_t len = std::min(rest.size() - 1, kTimeTextMax);
    memcpy(value, rest.data() + 1, len);
    value[len] = 0;
    int hours, minutes;
    double seconds;
    if (sscanf(value, "%d:%d:%lf", &hours, &minutes, &seconds) != 3) return;
    double t = hours * 3600.0 + minutes * 60.0 + seconds;
    if (!std::isfinite(t)) return;
    s.vc_time[n] = t;
    s.vc_any = true;
  } else if (rest.size() >= 6 && starts_with_nocase(rest, "NAME=")) {
    s.vc_name[n] = std::string(rest.substr(5, kNameMax));
  }
}

void vc_block(CommentSlots& s, std::span<const uint8_t> packet) {
  ByteReader r(packet);
  r.skip(8);          // "OpusTags"
  r.skip(r.u32le());  // vendor
  const uint32_t count = r.u32le();
  for (uint32_t i = 0; i < count; i++) {
    const std::string_view comment = r.text(r.u32le());
    if (r.failed()) return;
    vc_comment(s, comment);
  }
}

void vc_finish(const CommentSlots& s, ChapterTable& out) {
  if (!s.vc_any) return;
  for (int n = 0; n < CommentSlots::kSlots; n++) {
    if (!(s.vc_time[n] >= 0)) continue;
    std::string title = s.vc_name[n] ? *s.vc_name[n] : "Chapter " + std::to_string(n);
    out.add(s.vc_time[n], std::move(title));
  }
  out.sort_by_start();
}
