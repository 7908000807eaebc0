#include "display/hyphenation.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <strings.h>
#include <new>
#include <string>
#include <string_view>
#include <vector>

// The published US-English TeX patterns, embedded at build time.
extern "C" const char ql_hy_en_text[], ql_hy_en_text_end[];

namespace {

// Finnish: a break before a consonant that starts a syllable, none inside long vowels and
// diphthongs, and the common compound joints. One pattern per line, in this order.
constexpr std::string_view ql_hy_fi =
    "1ba\n1be\n1bi\n1bo\n1bu\n1by\n1da\n1de\n1di\n1do\n1du\n1dy\n1dä\n1dö\n1fa\n1fe\n1fi\n1fo\n"
    "1fu\n1fy\n1ga\n1ge\n1gi\n1go\n1gu\n1gy\n1gä\n1gö\n1ha\n1he\n1hi\n1ho\n1hu\n1hy\n1hä\n1hö\n"
    "1ja\n1je\n1ji\n1jo\n1ju\n1jy\n1jä\n1jö\n1ka\n1ke\n1ki\n1ko\n1ku\n1ky\n1kä\n1kö\n1la\n1le\n"
    "1li\n1lo\n1lu\n1ly\n1lä\n1lö\n1ma\n1me\n1mi\n1mo\n1mu\n1my\n1mä\n1mö\n1na\n1ne\n1ni\n1no\n"
    "1nu\n1ny\n1nä\n1nö\n1pa\n1pe\n1pi\n1po\n1pu\n1py\n1pä\n1pö\n1ra\n1re\n1ri\n1ro\n1ru\n1ry\n"
    "1rä\n1rö\n1sa\n1se\n1si\n1so\n1su\n1sy\n1sä\n1sö\n1ta\n1te\n1ti\n1to\n1tu\n1ty\n1tä\n1tö\n"
    "1va\n1ve\n1vi\n1vo\n1vu\n1vy\n1vä\n1vö\n1st2r\nä2y\ny1a2\ny1o2\no1y\nö2y\nu1y2\ny1u2\nö3a2\n"
    "ö3o2\nä3a2\nä3o2\nä1u2\nö1u2\na1ä\na1ö\no1ä\no1ö\nu1ä2\nu1ö2\nä2ä\nö2ö\nä2ö\nö2ä\naa1i2\n"
    "aa1e2\naa1o2\naa1u2\nee1a2\nee1i2\nee1u2\nee1y2\nii1a2\nii1e2\nii1o2\nuu1a2\nuu1e2\nuu1o2\n"
    "uu1i2\ne1aa\ni1aa\no1aa\nu1aa\nu1ee\na1uu\ni1uu\ne1uu\no1uu\nää1i\nää1e\nää3y\ni1ää\ne1ää\n"
    "y1ää\ni1öö\na1ei\na1oi\ne1ai\ni1au\ny1ei\nai1a\nai1e\nai1o\nai1u\nau1a\nau1e\neu1a\nie1a\n"
    "ie1o\nie1y\nio1a2\nio1e2\niu1a\niu1e\niu1o\noi1a\noi1e\noi1o\noi1u\no1ui\nou1e\nou1o\nue1a\n"
    "ui1e\nuo1a\nuo1u\ne1ö2\nö1e2\n.ä2\nu2s\nyli1o2p\nali1a2v\n1sp2li\nalous1\nkeus1\nrtaus1\n"
    "2s1ohje\n2s1a2sia\n1a2sian\n1a2siat\n1a2sioi\nr2as\nl2as\n2s1o2pisk\n2n1o2pet\n2s1a2loi\n"
    "2n1o2pist\n2s1o2pist\n2s1o2sa\n2n1o2sa\nalkei2s1\nperus1\n2s1i2dea.\n2s1i2dean\n2s1e2sity\n"
    "2n1e2dus\n2s1ajatu\n2s1ase\n2s1apu\n2s1y2rit\n.ydi2n1\n.suu2r1a2\n2s1y2hti\n2n1otto\n"
    "2n1oton\n2n1anto\n2n1anno\n2n1a2jan\n2n1aika\n2n1o2mai\n2n1y2lit\n2s1a2len\n2n1a2len\n"
    "1a2siaka2s1\nulo2s1\n2n1a2jo\n2s1a2jo\nb2l\n1b2lo\nbib3li\nb2r\n1b2ri\n1b2ro\n1b2ru\nd2r\n"
    "1d2ra\nf2l\n1f2la\nf2r\n1f2ra\n1f2re\ng2l\n1g2lo\ng2r\n1g2ra\nk2l\n1k2ra\n1k2re\n1k2ri\n"
    "1k2v\n1k2va\np2l\np2r\n1p2ro\nc2l\nq2v\n1q2vi\nsc2h\nts2h\nch2r\n";

// Open addressing keeps lookups to a probe or two only while the table stays sparse: the larger
// set (4938 patterns) fills about one sixth of it.
constexpr uint32_t kSlots = 32768;
constexpr size_t kMaxPatternBytes = 62;  // letter bytes; longer lines are not patterns
constexpr size_t kMaxProbeBytes = 60;    // no pattern key is longer than this
constexpr int kMaxLetters = 120;

struct HyEntry {
  std::string letters;  // empty: free slot
  const uint8_t* weights = nullptr;  // letter count + 1 weights, 0..9
};

struct HyTable {
  int loaded = HY_NONE;
  int selected = HY_NONE;
  std::vector<HyEntry> slots;
  std::vector<uint8_t> pool;
  size_t used = 0;
};
HyTable hy;  // core thread only

uint32_t fnv1a(std::string_view bytes) {
  uint32_t h = 0x811c9dc5u;
  for (unsigned char c : bytes) h = (h ^ c) * 16777619u;
  return h;
}

bool is_lead_byte(unsigned char c) { return (c & 0xc0) != 0x80; }

void add_pattern(std::string_view line, size_t& pool_used, size_t& entries) {
  std::string letters;
  std::array<uint8_t, kMaxPatternBytes + 2> weights{};
  size_t chars = 0;
  for (unsigned char c : line) {
    if (c == ' ') return;
    if (c >= '0' && c <= '9') {
      weights[chars] = static_cast<uint8_t>(c - '0');
      continue;
    }
    letters.push_back(static_cast<char>(c));
    if (letters.size() > kMaxPatternBytes) return;
    if (is_lead_byte(c)) chars++;
  }
  // A free slot must remain so that every probe sequence ends.
  if (letters.empty() || entries + 1 >= kSlots) return;
  if (chars + 1 > hy.pool.size() - pool_used) return;
  uint8_t* w = hy.pool.data() + pool_used;
  std::copy_n(weights.begin(), chars + 1, w);
  pool_used += chars + 1;
  uint32_t slot = fnv1a(letters) & (kSlots - 1);
  while (!hy.slots[slot].letters.empty()) slot = (slot + 1) & (kSlots - 1);
  hy.slots[slot] = HyEntry{std::move(letters), w};
  entries++;
}

bool load_patterns(std::string_view text) {
  try {
    hy.slots.assign(kSlots, HyEntry{});
    hy.pool.assign(2 * text.size() + 16, 0);
  } catch (const std::bad_alloc&) {
    hy.slots.clear();
    hy.pool.clear();
    return false;
  }
  size_t pool_used = 0, entries = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!line.empty()) add_pattern(line, pool_used, entries);
  }
  return true;
}

const uint8_t* find_pattern(std::string_view key, uint32_t hash) {
  for (uint32_t slot = hash & (kSlots - 1);; slot = (slot + 1) & (kSlots - 1)) {
    const HyEntry& e = hy.slots[slot];
    if (e.letters.empty()) return nullptr;
    if (e.letters == key) return e.weights;
  }
}

// One letter of a word, lower-cased into `out`: its byte length in the text, 0 when the text
// does not continue with a letter.
size_t read_letter(const unsigned char* s, std::string& out) {
  unsigned char c = s[0];
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
    out.push_back(static_cast<char>(c | 0x20));
    return 1;
  }
  // ä å ö and their capitals Ä Å Ö: C3 A4/A5/B6 and C3 84/85/96.
  if (c == 0xc3) {
    unsigned char d = s[1] | 0x20;
    if (d == 0xa4 || d == 0xa5 || d == 0xb6) {
      out.push_back(static_cast<char>(0xc3));
      out.push_back(static_cast<char>(d));
      return 2;
    }
  }
  return 0;
}

}  // namespace

int ql_hy_lang(const char* lang) {
  int want = HY_NONE;
  if (lang && strncasecmp(lang, "fi", 2) == 0) want = HY_FINNISH;
  else if (lang && strncasecmp(lang, "en", 2) == 0) want = HY_ENGLISH;
  if (want != HY_NONE && want != hy.loaded) {
    const auto en_size = static_cast<size_t>(ql_hy_en_text_end - ql_hy_en_text);
    std::string_view text = want == HY_FINNISH ? ql_hy_fi : std::string_view(ql_hy_en_text, en_size);
    hy.loaded = load_patterns(text) ? want : HY_NONE;
    if (hy.loaded == HY_NONE) want = HY_NONE;
  }
  hy.selected = want;
  return want;
}

int ql_hyphens(const char* word, uint32_t* out, int max) {
  if (hy.selected == HY_NONE || !word || max < 1) return 0;
  const auto* s = reinterpret_cast<const unsigned char*>(word);
  size_t pos = 0;
  while (s[pos] && s[pos] < 0x80 && !((s[pos] | 0x20) >= 'a' && (s[pos] | 0x20) <= 'z')) pos++;

  // The word framed by "." at both edges, with the byte start of every framed character.
  std::string framed = ".";
  std::array<uint32_t, kMaxLetters> letter_at{};
  std::array<size_t, kMaxLetters + 3> char_start{};
  int n = 0;
  while (n < kMaxLetters) {
    char_start[n + 1] = framed.size();
    size_t len = read_letter(s + pos, framed);
    if (len == 0) break;
    letter_at[n++] = static_cast<uint32_t>(pos);
    pos += len;
  }
  if (n < 5) return 0;
  char_start[n + 1] = framed.size();
  framed.push_back('.');
  char_start[n + 2] = framed.size();
  const int chars = n + 2;

  std::array<uint8_t, kMaxLetters + 3> weight{};
  for (int i = 0; i < chars; i++) {
    uint32_t h = 0x811c9dc5u;
    for (int j = i + 1; j <= chars; j++) {
      size_t len = char_start[j] - char_start[i];
      if (len > kMaxProbeBytes) break;
      for (size_t b = char_start[j - 1]; b < char_start[j]; b++)
        h = (h ^ static_cast<unsigned char>(framed[b])) * 16777619u;
      const uint8_t* p = find_pattern(std::string_view(framed).substr(char_start[i], len), h);
      if (!p) continue;
      for (int k = 0; k <= j - i; k++) weight[i + k] = std::max(weight[i + k], p[k]);
    }
  }

  // At least two letters stay before a break; three (English) or two (Finnish) after it.
  const int last = hy.selected == HY_ENGLISH ? n - 3 : n - 2;
  int count = 0;
  for (int m = 2; m <= last && count < max; m++)
    if (weight[m + 1] & 1) out[count++] = letter_at[m];
  return count;
}
