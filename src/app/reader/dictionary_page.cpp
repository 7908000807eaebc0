#include "app/reader/dictionary_page.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

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
}  // namespace

std::string dictionary_word(std::string_view text) {
  const auto first = std::find_if(text.begin(), text.end(), [](char c) { return is_word_byte(c); });
  const auto last = std::find_if(first, text.end(), [](char c) { return !is_word_byte(c); });
  const std::string_view word = trim_quote_marks(std::string_view(first, last));
  std::string out(word.substr(0, utf8_prefix_length(word, kDictWordMax)));
  for (char& c : out) c = ascii_lower(c);
  return out;
}

void dictionary_page(const char* text, size_t length) {
  const std::string word = dictionary_word({text, length});
  const int found = ql_dict_lookup(word, kDictOutPath);
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
