// Vocabulary (the words looked up, newest first) and Language & dictionaries.
#include <algorithm>
#include <array>

#include "app/reader/dictionary_page.h"
#include "app/reader/vocab_file.h"
#include "app/ui/ui_message.h"
#include "base/text_lines.h"
#include "book/dict/stardict.h"
#include "settings/settings_page_parts.h"

namespace {
constexpr size_t kVocabLinesMax = 40;
constexpr long kVocabTailBytes = 4000;
constexpr size_t kDictionaryLinesMax = 18;
constexpr char kDictionaryList[] = "/tmp/ql-dl.txt";
}  // namespace

std::vector<std::string> vocabulary_words() {
  std::array<TextLine, kVocabLinesMax> buffers;
  std::array<std::string_view, kVocabLinesMax> lines;
  // A line is one lookup: the rest of an over-long one is no word of its own.
  const size_t count = text_read_last_lines(vocab_path().c_str(), buffers, lines, kVocabTailBytes,
                                            LongLines::Cut);
  std::vector<std::string> words;
  for (size_t i = count; i-- > 0;) {
    const std::string_view word = lines[i].substr(0, lines[i].find('\t'));
    if (word.empty() || std::find(words.begin(), words.end(), word) != words.end()) continue;
    words.emplace_back(word);
  }
  return words;
}

void vocabulary_page() {
  constexpr std::string_view kTitle = "Vocabulary";
  const std::vector<std::string> words = vocabulary_words();
  if (words.empty()) {
    constexpr std::array<std::string_view, 1> kEmpty = {
        "Words you look up in the dictionary appear here."};
    ui_info_page(kTitle.data(), kTitle.size(), kEmpty);
    return;
  }
  const std::optional<size_t> chosen = settings_choose(kTitle, words);
  if (chosen) dictionary_page(words[*chosen].data(), words[*chosen].size());
}

void language_page() {
  ql_dict_list(kDictionaryList);
  std::array<TextLine, kDictionaryLinesMax> buffers;
  std::array<std::string_view, kDictionaryLinesMax + 2> lines = {
      "Language: English. Keyboard: QWERTY + \xC3\xA5 \xC3\xA4 \xC3\xB6.",
      "Dictionaries on this device:"};
  const size_t count =
      text_read_lines(kDictionaryList, buffers, std::span(lines).subspan(2), 0);
  constexpr std::string_view kTitle = "Language & dictionaries";
  ui_info_page(kTitle.data(), kTitle.size(), std::span(lines).first(count + 2));
}
