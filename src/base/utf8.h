// The UTF-8 decoding used for all measured and drawn text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// ASCII capitals to lower case and back; every other byte, UTF-8 sequences included, stays as it
// is, whatever the locale.
inline char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
inline char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
inline std::string ascii_upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ascii_upper(c);
  return out;
}
inline std::string ascii_lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ascii_lower(c);
  return out;
}
// ASCII letters and digits only: in a single-byte locale the <cctype> tests would take bytes of
// UTF-8 sequences for letters.
inline bool ascii_digit(char c) { return c >= '0' && c <= '9'; }
inline bool ascii_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool ascii_alnum(char c) { return ascii_alpha(c) || ascii_digit(c); }

// Appends the UTF-8 form of a code point (below 0x110000; surrogates are written as they are).
inline void append_utf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | cp >> 18);
    out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

inline bool utf8_is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The length of the longest prefix of `text` of at most `max` bytes that does not end inside a
// character: text kept to a byte limit is cut before the character that crosses it.
inline size_t utf8_prefix_length(std::string_view text, size_t max) {
  if (text.size() <= max) return text.size();
  size_t n = max;
  while (n > 0 && utf8_is_continuation(text[n])) --n;
  return n;
}

// The length of the well-formed UTF-8 character at the start of `s` (1 for ASCII), 0 when there is
// none there: a stray continuation byte, a lead cut short or followed by a wrong byte, an overlong
// form, a surrogate or a value past U+10FFFF.
inline size_t utf8_valid_length(std::string_view s) {
  if (s.empty()) return 0;
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  size_t more = 0;
  // The range the first continuation byte must lie in: narrower after E0, ED, F0 and F4.
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (more > s.size() - 1) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i <= more; ++i) {
    if (!utf8_is_continuation(s[i])) return 0;
  }
  return more + 1;
}

// Decodes one character at *s and advances past it. A byte below 0xC2 or above 0xF4 is the
// character of that value (stray continuation bytes and invalid leads read as U+0080..U+00FF), and
// so is a lead byte that the string's end cuts short (Latin-1 text such as a lone 0xE9 reads as
// "é"); a byte that is not a continuation where one is expected gives U+FFFD and decoding resumes
// at that byte. Overlong forms and surrogates are not checked. Never reads past a NUL.
inline uint32_t utf8_next(const unsigned char*& s) {
  const unsigned char lead = *s++;
  if (lead < 0xC2 || lead > 0xF4) return lead;
  const int more = lead <= 0xDF ? 1 : lead <= 0xEF ? 2 : 3;
  uint32_t cp = lead & (more == 1 ? 0x1F : more == 2 ? 0x0F : 0x07);
  for (int k = 0; k < more; ++k) {
    if (!s[k]) return lead;
    if ((s[k] & 0xC0) != 0x80) {
      s += k;
      return 0xFFFD;
    }
    cp = cp << 6 | (s[k] & 0x3F);
  }
  s += more;
  return cp;
}

// U+00AD SOFT HYPHEN: a break point a book marks inside a word. It is never shown except as the
// hyphen of a line that ends there, and is no part of the word's text for searching or lookups.
constexpr std::string_view kSoftHyphenUtf8 = "\xC2\xAD";

// `text` without its soft hyphens: `text` itself when it has none, else `scratch` holding the rest.
inline std::string_view strip_soft_hyphens(std::string_view text, std::string& scratch) {
  size_t at = text.find(kSoftHyphenUtf8);
  if (at == std::string_view::npos) return text;
  scratch.assign(text.substr(0, at));
  while (at != std::string_view::npos) {
    const size_t from = at + kSoftHyphenUtf8.size();
    at = text.find(kSoftHyphenUtf8, from);
    scratch.append(text.substr(from, at == std::string_view::npos ? at : at - from));
  }
  return scratch;
}
