// Vocabulary and Language & dictionaries: the words of the vocabulary file's last lines, newest
// first and each once; the empty page; a word opening the dictionary; the dictionaries listed.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/reader/vocab_file.h"
#include "settings/settings_page_parts.h"
#include "settings_fixture.h"
#include "support/stardict_writer.h"

namespace fs = std::filesystem;

namespace {

// `count` vocabulary lines "wN", numbered from 0, each with a time and a book name.
std::string numbered_lookups(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "w" + std::to_string(i) + "\t1700000000\tNovel.epub\n";
  return text;
}
std::vector<std::string> numbered_words(int newest, int count) {
  std::vector<std::string> words;
  for (int i = newest; i > newest - count; --i) words.push_back("w" + std::to_string(i));
  return words;
}

class WordPages : public SettingsScreen {
 protected:
  std::string vocab_file() const { return root_.state("vocab.tsv"); }
  void write_dictionary(const std::string& base, const std::string& name) {
    fs::create_directories(root_.host("us/documents/dictionaries"));
    sdw::Options o;
    o.bookname = name;
    sdw::write_dictionary(root_.host("us/documents/dictionaries/" + base), {{"run", "to move"}}, o);
  }
};

TEST_F(WordPages, VocabularyWordsNewestFirstEachOnce) {
  struct Case {
    const char* name;
    std::string file;
    std::vector<std::string> words;
  } cases[] = {
      {"A, B and A again", "a\t1\tx.epub\nb\t2\tx.epub\na\t3\tx.epub\n", {"a", "b"}},
      {"a line without tabs is the word", "plain word\nb\t2\tx\n", {"b", "plain word"}},
      {"empty words and blank lines skipped", "\t1\tx\n\n  \nc\t2\tx\n\t3\tx\n", {"c"}},
      {"case matters", "Run\t1\tx\nrun\t2\tx\n", {"run", "Run"}},
      {"an over-long line is one lookup", "a\t1\t" + std::string(400, 'x') + "\nb\t2\tx\n",
       {"b", "a"}},
      {"carriage returns", "a\t1\tx\r\nb\t2\tx\r\n", {"b", "a"}},
      {"the newest 40 of 100 lines", numbered_lookups(100), numbered_words(99, 40)},
      // 300 lines are about 8000 bytes: only the last 4000 are read, and of them the last 40.
      {"the newest 40 of a long file", numbered_lookups(300), numbered_words(299, 40)},
      {"empty file", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(vocab_file(), c.file);
    EXPECT_EQ(vocabulary_words(), c.words);
  }
  fs::remove(vocab_file());
  EXPECT_TRUE(vocabulary_words().empty()) << "missing file";
}

TEST_F(WordPages, EmptyVocabularyShowsItsLine) {
  for (bool exists : {false, true}) {
    SCOPED_TRACE(exists ? "empty file" : "no file");
    if (exists) write_file(vocab_file(), "\n\n");
    const std::string name = exists ? "vocab-empty" : "vocab-missing";
    open(SettingsRow::Vocabulary);
    shot(name);
    touches_.touch(500, 900);  // closes the page
    tap_back();
    settings_pages();
    EXPECT_TRUE(ScriptedTouch::done());
    // One line of text under the header, nothing below it.
    EXPECT_LT(shot_darkest(name, 48, kListTop, W() - 96, 150), 100);
    EXPECT_EQ(shot_darkest(name, 0, kListTop + 250, W(), H() - kListTop - 250), 255);
  }
}

TEST_F(WordPages, AWordOpensTheDictionary) {
  write_dictionary("pocket", "Pocket English");
  write_file(vocab_file(), "run\t1\tx.epub\nwalk\t2\tx.epub\nrun\t3\tx.epub\n");
  open(SettingsRow::Vocabulary);
  shot("vocabulary");
  pick(1);  // "walk", the older word
  shot("definition");
  touches_.touch(500, 900);  // closes the dictionary page
  tap_back();
  settings_pages();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_TRUE(shot_has_row("vocabulary", 1));
  EXPECT_FALSE(shot_has_row("vocabulary", 2));
  EXPECT_TRUE(has_shot("definition"));
  // The lookup went to the dictionary and was recorded as the newest word.
  const std::string vocab = read_file(vocab_file());
  EXPECT_NE(vocab.find("\nwalk\t", vocab.size() - 40), std::string::npos) << vocab;
  EXPECT_EQ(vocabulary_words(), (std::vector<std::string>{"walk", "run"}));
}

TEST_F(WordPages, LanguagePageListsTheDictionaries) {
  open(SettingsRow::Language);
  shot("language-none");
  touches_.touch(500, 900);
  touches_.at_wait([this] {
    write_dictionary("alpha", "Alpha Dictionary");
    write_dictionary("beta", "Beta Dictionary");
    write_dictionary("gamma", "Gamma Dictionary");
  });
  open(SettingsRow::Language);
  shot("language-three");
  touches_.touch(500, 900);
  tap_back();
  settings_pages();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(read_file(root_.host("tmp/ql-dl.txt")),
            "Alpha Dictionary\nBeta Dictionary\nGamma Dictionary\n");
  // With none the page says so on one line; three names reach two lines further down.
  const int none = shot_lowest_ink("language-none");
  const int three = shot_lowest_ink("language-three");
  EXPECT_GT(none, kListTop);
  EXPECT_GT(three, none + 60);
}

}  // namespace
