#include "app/reader/word_breaks.h"

#include <algorithm>
#include <cstring>

#include "base/utf8.h"

namespace {
constexpr int kMaxPatternPoints = 24;
constexpr size_t kMaxSoftHyphens = 64;  // a word with more gets no pattern points
constexpr size_t kMaxPlainBytes = 256;  // a longer word with soft hyphens gets no pattern points

constexpr std::string_view kEmDash = "\xE2\x80\x94";
constexpr std::string_view kEnDash = "\xE2\x80\x93";

bool is_letter(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u >= 0x80;
}

// The length of the dash that starts at `at` (0 when none stands there).
size_t dash_at(std::string_view text, size_t at) {
  if (text.substr(at, kEmDash.size()) == kEmDash || text.substr(at, kEnDash.size()) == kEnDash) {
    return kEmDash.size();
  }
  return text[at] == '-' ? 1 : 0;
}
}  // namespace

bool looks_like_address(std::string_view word) {
  if (word.find("://") != std::string_view::npos || word.find("www.") != std::string_view::npos) {
    return true;
  }
  for (size_t i = word.find('.'); i != std::string_view::npos; i = word.find('.', i + 1)) {
    const bool between_letters =
        i > 0 && i + 1 < word.size() && is_letter(word[i - 1]) && is_letter(word[i + 1]);
    if (between_letters) return true;
  }
  return false;
}

int word_break_points(const char* word, HyphenPoints hyphens, uint32_t* out, int max) {
  // Fixed buffers: the paginator asks once per line and allocates nothing per word.
  const std::string_view text(word);
  uint32_t soft[kMaxSoftHyphens];
  size_t nsoft = 0;
  bool all_soft_seen = true;
  for (size_t at = text.find(kSoftHyphenUtf8); at != std::string_view::npos;
       at = text.find(kSoftHyphenUtf8, at + kSoftHyphenUtf8.size())) {
    if (nsoft == kMaxSoftHyphens) {
      all_soft_seen = false;
      break;
    }
    soft[nsoft++] = static_cast<uint32_t>(at);
  }
  int n = 0;
  // One at either end of the word would leave a line showing nothing but a hyphen.
  for (size_t s = nsoft; s-- > 0 && n < max;) {
    if (soft[s] > 0 && soft[s] + kSoftHyphenUtf8.size() < text.size()) out[n++] = soft[s];
  }
  if (!hyphens || !all_soft_seen) return n;
  // The patterns read the word without its soft hyphens; their offsets are moved back past them.
  char plain[kMaxPlainBytes];
  const char* patterned = word;
  if (nsoft > 0) {
    if (text.size() - nsoft * kSoftHyphenUtf8.size() >= sizeof plain) return n;
    size_t len = 0, from = 0;
    for (size_t s = 0; s <= nsoft; ++s) {
      const size_t to = s < nsoft ? soft[s] : text.size();
      text.copy(plain + len, to - from, from);
      len += to - from;
      from = to + kSoftHyphenUtf8.size();
    }
    plain[len] = 0;
    patterned = plain;
  }
  if (looks_like_address(patterned)) return n;
  uint32_t points[kMaxPatternPoints];
  const int count =
      std::clamp(hyphens(patterned, points, kMaxPatternPoints), 0, kMaxPatternPoints);
  for (int j = count - 1; j >= 0 && n < max; --j) {
    uint32_t at = points[j];
    bool at_soft = false;
    for (size_t s = 0; s < nsoft; ++s) {
      // The s-th soft hyphen stands at this offset of the word without soft hyphens.
      const size_t plain_at = soft[s] - s * kSoftHyphenUtf8.size();
      if (plain_at == points[j]) at_soft = true;
      if (plain_at < points[j]) at += static_cast<uint32_t>(kSoftHyphenUtf8.size());
    }
    if (!at_soft && at > 0 && at < text.size()) out[n++] = at;
  }
  return n;
}

int dash_break_points(const char* word, uint32_t* out, int max) {
  // Most words hold no dash: one scan for the bytes a dash can start with settles them.
  if (!strpbrk(word, "-\xE2")) return 0;
  const std::string_view text(word);
  int n = 0;
  // From the end, so a line tries the longest piece first.
  for (size_t at = text.size(); at-- > 1 && n < max;) {
    const size_t len = dash_at(text, at);
    const size_t after = at + len;
    if (len == 0 || after >= text.size() || dash_at(text, after) != 0) continue;
    // A hyphen-minus breaks only between letters; "1914-1918" and "-5" stay whole.
    if (len == 1 && !(is_letter(text[at - 1]) && is_letter(text[after]))) continue;
    out[n++] = static_cast<uint32_t>(after);
  }
  return n;
}
