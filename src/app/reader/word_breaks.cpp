#include "app/reader/word_breaks.h"

#include <algorithm>
#include <cstring>

#include "base/utf8.h"

namespace {
constexpr int kMaxPatternPoints = 24;
constexpr size_t kMaxSoftHyphens = 64;  // a word with more gets no pattern points
constexpr size_t kMaxPlainBytes = 256;  // a longer word with soft hyphens gets no pattern points

bool is_letter(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u >= 0x80;
}

constexpr std::string_view kEmDash = "\xE2\x80\x94";
constexpr std::string_view kEnDash = "\xE2\x80\x93";
// A line never starts with these: they close what the text before them says.
constexpr std::string_view kClosingAscii = ")]},.;:!?\"'";
constexpr std::string_view kClosingMarks[] = {
    "\xE2\x80\x99", "\xE2\x80\x9D",  // right single and double quotation marks
    "\xC2\xBB",     "\xE2\x80\xBA",  // right-pointing guillemets
    "\xE2\x80\xA6",                  // ellipsis
};

// A word with the glued text on either side of it read as one text, by byte position.
class JoinedText {
 public:
  JoinedText(std::string_view before, std::string_view word, std::string_view after)
      : before_(before), word_(word), after_(after) {}
  size_t size() const { return before_.size() + word_.size() + after_.size(); }
  // The byte at `p`; 0 past the end.
  char at(size_t p) const {
    if (p < before_.size()) return before_[p];
    p -= before_.size();
    if (p < word_.size()) return word_[p];
    p -= word_.size();
    return p < after_.size() ? after_[p] : 0;
  }
  bool holds(size_t p, std::string_view s) const {
    for (size_t i = 0; i < s.size(); ++i) {
      if (at(p + i) != s[i]) return false;
    }
    return true;
  }
  // The length of the dash that starts at `p`, or that ends at `p`; 0 when none stands there.
  size_t dash_at(size_t p) const {
    if (holds(p, kEmDash) || holds(p, kEnDash)) return kEmDash.size();
    return at(p) == '-' ? 1 : 0;
  }
  size_t dash_ending_at(size_t p) const {
    if (p >= kEmDash.size() && dash_at(p - kEmDash.size()) == kEmDash.size()) return kEmDash.size();
    return p >= 1 && at(p - 1) == '-' ? 1 : 0;
  }
  bool closing_at(size_t p) const {
    const char c = at(p);
    if (c != 0 && kClosingAscii.find(c) != std::string_view::npos) return true;
    for (std::string_view mark : kClosingMarks) {
      if (holds(p, mark)) return true;
    }
    return false;
  }

 private:
  std::string_view before_, word_, after_;
};
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

int dash_break_points(const char* word, uint32_t* out, int max, GluedText glued) {
  // Most words hold no dash: one scan for the bytes a dash can start with settles them.
  if (!strpbrk(word, "-\xE2")) return 0;
  const JoinedText t(glued.before, word, glued.after);
  const size_t first = glued.before.size();
  int n = 0;
  // From the end, so a line tries the longest piece first. `end` is where a run of dashes that
  // ends inside the word would end.
  for (size_t end = first + strlen(word); end > first && n < max;) {
    const size_t len = t.dash_ending_at(end);
    if (len == 0 || t.dash_at(end) != 0) {
      end -= len == 0 ? 1 : len;
      continue;
    }
    size_t start = end - len;
    size_t hyphens = len == 1 ? 1 : 0;
    bool long_dash = len > 1;
    while (const size_t more = t.dash_ending_at(start)) {
      start -= more;
      if (more == 1) {
        ++hyphens;
      } else {
        long_dash = true;
      }
    }
    // Text on both sides, and no closing mark after: "said—" never leaves a "," or a "”" to
    // start the next line. Two hyphens or more stand for a dash; one joins letters only, so
    // "1914-1918" and "-5" stay whole.
    bool breaks = start > 0 && end < t.size() && !t.closing_at(end);
    if (breaks && !long_dash && hyphens == 1) {
      breaks = is_letter(t.at(start - 1)) && is_letter(t.at(end));
    }
    if (breaks) out[n++] = static_cast<uint32_t>(end - first);
    end = start;
  }
  return n;
}
