// Books often declare the wrong language (a template's "en", or nothing). Counting the most
// common short words of English and Finnish in the opening words tells the two apart, so that
// hyphenation and search see the book's real language.
#include <algorithm>
#include <array>
#include <string_view>

#include "book/book_model.h"

namespace {
constexpr uint64_t kWordsLooked = 4000;
constexpr size_t kRunMax = 39;
constexpr uint64_t kMinRuns = 200;

constexpr std::array<std::string_view, 15> kEnglish = {"the", "and", "of", "to", "that", "is", "was", "for",
                                                       "with", "it", "this", "are", "not", "have", "from"};
constexpr std::array<std::string_view, 17> kFinnish = {
    "ja", "ei", "että", "se", "oli", "kun", "niin", "mutta", "myös",
    "tai", "joka", "hän", "ovat", "sen", "kuin", "ole", "tämä"};

bool is_letter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

// The first run of letters (ASCII letters and any non-ASCII byte) of a word, at most 39 bytes.
std::string_view letter_run(std::string_view w) {
  size_t i = 0;
  while (i < w.size() && !is_letter(static_cast<unsigned char>(w[i])) && static_cast<unsigned char>(w[i]) < 0x80) i++;
  size_t start = i;
  while (i < w.size() && i - start < kRunMax &&
         (is_letter(static_cast<unsigned char>(w[i])) || static_cast<unsigned char>(w[i]) >= 0x80))
    i++;
  return w.substr(start, i - start);
}

bool equal_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++) {
    auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
    if (ca < 0x80 && is_letter(ca)) ca |= 0x20;
    if (cb < 0x80 && is_letter(cb)) cb |= 0x20;
    if (ca != cb) return false;
  }
  return true;
}

template <size_t N>
bool is_one_of(std::string_view run, const std::array<std::string_view, N>& list) {
  return std::any_of(list.begin(), list.end(), [run](std::string_view w) { return equal_nocase(run, w); });
}

bool has_umlaut(std::string_view run) {
  for (std::string_view u : {"\xC3\xA4", "\xC3\xB6", "\xC3\x84", "\xC3\x96"})
    if (run.find(u) != std::string_view::npos) return true;
  return false;
}

bool declared_as(std::string_view lang, std::string_view code) {
  return lang.size() >= 2 && equal_nocase(lang.substr(0, 2), code);
}
}  // namespace

void guess_language(BookModel& book) {
  uint64_t n = 0, e = 0, f = 0, a = 0;
  uint64_t look = std::min<uint64_t>(book.words.size(), kWordsLooked);
  for (uint64_t i = 0; i < look; i++) {
    const BookWord& w = book.words[i];
    if (w.style == STYLE_PICTURE) continue;
    std::string_view run = letter_run(w.text);
    if (run.empty()) continue;
    n++;
    if (is_one_of(run, kEnglish)) e++;
    if (is_one_of(run, kFinnish)) f++;
    if (has_umlaut(run)) a++;
  }
  if (n < kMinRuns) return;
  bool english = e * 100 >= 4 * n && e > 2 * f && a * 100 < 2 * n;
  if (f * 100 >= 2 * n && a * 100 >= 5 * n && f > e) {
    book.book_lang = "fi";
  } else if (english) {
    book.book_lang = "en";
  } else if (declared_as(book.book_lang, "en") || declared_as(book.book_lang, "fi")) {
    book.book_lang.clear();
  }
}
