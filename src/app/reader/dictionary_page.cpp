#include "app/reader/dictionary_page.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "app/reader/vocab_file.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "base/paths.h"
#include "base/utf8.h"
#include "book/dict/stardict.h"
#include "display/framebuffer.h"

namespace {
constexpr int kTextTop = 298;
constexpr int kBottomRoom = 90;
constexpr int kTextX = 48;
constexpr int kLineGap = 6;
constexpr std::string_view kNoDictionaryText =
    "No dictionary is installed.\nPut a StarDict dictionary (its .ifo, .idx and .dict or .dict.dz "
    "files) in documents/dictionaries, or in a folder of its own inside it.";

// Quotation marks a selection in a novel carries along with its word; an apostrophe inside the
// word is the same character as the right single quote and stays.
constexpr std::array<std::string_view, 12> kQuoteMarks = {
    "\xE2\x80\x9C", "\xE2\x80\x9D", "\xE2\x80\x9E", "\xE2\x80\x9F",  // double quotes
    "\xE2\x80\x98", "\xE2\x80\x99", "\xE2\x80\x9A", "\xE2\x80\x9B",  // single quotes
    "\xC2\xAB",     "\xC2\xBB",     "\xE2\x80\xB9", "\xE2\x80\xBA",  // guillemets
};

constexpr std::string_view kEmDash = "\xE2\x80\x94";
constexpr std::string_view kEnDash = "\xE2\x80\x93";

// How a line of the definitions is drawn.
struct LineKind {
  TextStyle style;
  int size;
  int line_height;
  int baseline_drop;  // below the running y
};
constexpr LineKind kPartOfSpeech = {TS_BOLD, 40, 56, 10};
constexpr LineKind kAlsoLine = {TS_REGULAR, 42, 50, 0};
constexpr LineKind kPlainLine = {TS_REGULAR, 40, 56, 0};

bool is_word_byte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '\'' || c == '-' || c >= 0x80;
}

const LineKind& kind_of(std::string_view line) {
  if (line == "noun" || line == "verb" || line == "adjective" || line == "adverb") return kPartOfSpeech;
  if (line.starts_with("also:")) return kAlsoLine;
  return kPlainLine;
}

// Takes quotation marks off both ends as long as one is there.
std::string_view trim_quote_marks(std::string_view word) {
  for (bool trimmed = true; trimmed;) {
    trimmed = false;
    for (std::string_view mark : kQuoteMarks) {
      if (word.starts_with(mark)) {
        word.remove_prefix(mark.size());
        trimmed = true;
      }
      if (word.ends_with(mark)) {
        word.remove_suffix(mark.size());
        trimmed = true;
      }
    }
  }
  return word;
}

// The definitions file as the lookup left it, at most kDictShownMax bytes; nothing when it
// cannot be read.
std::optional<std::string> read_definitions() {
  FilePtr f(qlp_fopen(kDictOutPath, "rb"));
  if (!f) return std::nullopt;
  std::string text(kDictShownMax, '\0');
  text.resize(fread(text.data(), 1, text.size(), f.get()));
  return text;
}

void draw_definitions(std::string_view text) {
  const int w = ql_fb().width, h = ql_fb().height;
  int y = kTextTop;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    while (line.starts_with(' ')) line.remove_prefix(1);
    while (line.ends_with(' ')) line.remove_suffix(1);
    if (line.empty()) continue;
    if (y > h - kBottomRoom) break;
    const LineKind& kind = kind_of(line);
    y = ui_draw_wrapped(line.data(), line.size(), kind.style, kind.size, kTextX, y + kind.baseline_drop,
                        w - 2 * kTextX, kind.line_height) +
        kLineGap;
  }
}

// With no dictionary at all, "No definition found" would send the reader looking for another
// word; the page says what is missing and where it goes instead.
bool no_dictionary_installed() { return ql_dict_count() == 0; }

// The selected word as it lies in `text`, before it is lower-cased and cut.
std::string_view word_in(std::string_view text) {
  const auto first = std::find_if(text.begin(), text.end(), [](char c) { return is_word_byte(c); });
  const auto last = std::find_if(first, text.end(), [](char c) { return !is_word_byte(c); });
  return trim_quote_marks(std::string_view(first, last));
}

std::string lookup_form(std::string_view word) {
  return ascii_lower(word.substr(0, utf8_prefix_length(word, kDictWordMax)));
}

// The length of the dash run that starts at `at` in `word` (an em or en dash, or two hyphens or
// more); 0 when none does.
size_t dash_run_at(std::string_view word, size_t at) {
  size_t end = at;
  size_t hyphens = 0;
  bool long_dash = false;
  for (;;) {
    const std::string_view rest = word.substr(end);
    if (rest.starts_with(kEmDash) || rest.starts_with(kEnDash)) {
      end += kEmDash.size();
      long_dash = true;
    } else if (rest.starts_with('-')) {
      ++end;
      ++hyphens;
    } else {
      break;
    }
  }
  return long_dash || hyphens >= 2 ? end - at : 0;
}

// The parts of a word that dashes join ("Peculiar—that", "word--word"), each with its offset in
// the word; none when it has no such dash. A single hyphen joins a compound and stays.
using DashParts = std::vector<std::pair<size_t, std::string_view>>;

DashParts dash_parts(std::string_view word) {
  DashParts parts;
  size_t start = 0;
  for (size_t at = 0; at < word.size();) {
    const size_t run = dash_run_at(word, at);
    if (run == 0) {
      ++at;
      continue;
    }
    parts.emplace_back(start, word.substr(start, at - start));
    at += run;
    start = at;
  }
  if (parts.empty()) return parts;
  parts.emplace_back(start, word.substr(start));
  return parts;
}

// What to look up when the whole selected word has no entry: the part under the finger (a byte
// offset into the word, npos when not known) first, then each other part in turn.
std::vector<std::string> part_lookups(const DashParts& parts, size_t finger) {
  std::vector<std::string> under, others;
  for (const auto& [offset, text] : parts) {
    const std::string part = lookup_form(word_in(text));
    if (part.empty()) continue;
    const bool touched = finger != std::string_view::npos && finger >= offset &&
                         finger <= offset + text.size();
    (touched && under.empty() ? under : others).push_back(part);
  }
  under.insert(under.end(), others.begin(), others.end());
  return under;
}

// Looks the selection up: the whole word, else its dash-joined parts in turn. The word whose
// definitions the file holds (the whole one when no part has any) and how many it holds.
std::pair<std::string, int> look_up(std::string_view text, size_t finger) {
  const std::string_view selected = word_in(text);
  const std::string word = lookup_form(selected);
  const auto parts = dash_parts(selected);
  // Two hyphens stand for a dash, never for a compound: the whole is not tried, as the lookup
  // would give every part between hyphens at once.
  if (parts.empty() || word.find("--") == std::string::npos) {
    const int found = ql_dict_lookup(word, kDictOutPath);
    if (found > 0 || parts.empty()) return {word, found};
  }
  const auto start = static_cast<size_t>(selected.data() - text.data());
  const size_t finger_in_word =
      finger != std::string_view::npos && finger >= start ? finger - start : std::string_view::npos;
  for (const std::string& part : part_lookups(parts, finger_in_word)) {
    if (const int n = ql_dict_lookup(part, kDictOutPath); n > 0) return {part, n};
  }
  // No part has an entry either: the message names what was selected.
  return {word, ql_dict_lookup(word, kDictOutPath)};
}
}  // namespace

std::string dictionary_word(std::string_view text) { return lookup_form(word_in(text)); }

void dictionary_page(const char* text, size_t length, size_t finger) {
  const auto [word, found] = look_up({text, length}, finger);
  if (!word.empty()) vocab_append(word, app.reader.open_path);
  const auto definitions = read_definitions();
  if (!definitions) return;
  ui_draw_header(word.c_str());
  draw_definitions(found == 0 && no_dictionary_installed() ? kNoDictionaryText
                                                          : std::string_view(*definitions));
  ui_present(false);
  TapEvent event;
  ui_wait_event(event);
}
