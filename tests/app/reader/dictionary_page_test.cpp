// The dictionary page: the word taken from a selection, the vocabulary line it leaves, and the
// page drawn from a real lookup in a dictionary written by the test.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "app/reader/dictionary_page.h"
#include "app/reader/vocab_file.h"
#include "support/stardict_writer.h"
#include "support/ui_screen_fixture.h"

namespace fs = std::filesystem;

namespace {

TEST(DictionaryWord, TakesTheFirstWordOfTheSelection) {
  struct Case {
    const char* name;
    std::string selection;
    std::string word;
  } cases[] = {
      {"comma after", "Don't,", "don't"},
      {"hyphenated", "Well-known", "well-known"},
      {"curly double quotes", "\xE2\x80\x9CHello,\xE2\x80\x9D", "hello"},
      {"quotes around, comma inside", "\xE2\x80\x9CHello\xE2\x80\x9D, she said", "hello"},
      {"guillemets",
       "\xC2\xAB"
       "Bonjour\xC2\xBB",
       "bonjour"},
      {"single guillemets and low quote", "\xE2\x80\x9A\xE2\x80\xB9Mot\xE2\x80\xBA\xE2\x80\x98", "mot"},
      {"inner typographic apostrophe stays",
       "\xE2\x80\x98"
       "don\xE2\x80\x99t\xE2\x80\x99",
       "don\xE2\x80\x99t"},
      {"ASCII apostrophes stay", "'tis'", "'tis'"},
      {"letters beyond ASCII pass whole", "\xC3\x89T\xC3\x89", "\xC3\x89t\xC3\x89"},
      {"digits and spaces before", "  42 Answer", "answer"},
      {"digits only", "12345", ""},
      {"quotes only", "\xE2\x80\x9C\xE2\x80\x9D", ""},
      {"second word left out", "two words", "two"},
      {"100 letters", std::string(100, 'A'), std::string(79, 'a')},
      {"never cut inside a character", std::string(78, 'a') + "\xC3\xA9", std::string(78, 'a')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(dictionary_word(c.selection), c.word);
  }
}

TEST(VocabLine, FieldsAreCutAndCannotBreakTheRecord) {
  struct Case {
    const char* name;
    std::string word;
    std::string book;
    std::string line;
  } cases[] = {
      {"book in a folder", "run", "/mnt/us/documents/Novel.epub", "run\t1700000000\tNovel.epub\n"},
      {"no book", "run", "", "run\t1700000000\t\n"},
      {"no folder", "run", "Novel.epub", "run\t1700000000\tNovel.epub\n"},
      {"tab and line breaks in the name", "run", "/d/A\tB\r\nC.epub", "run\t1700000000\tA B  C.epub\n"},
      {"long word", std::string(100, 'w'), "b", std::string(60, 'w') + "\t1700000000\tb\n"},
      {"long name cut at a character", "run", "/d/" + std::string(69, 'n') + "\xC3\xA9.epub",
       "run\t1700000000\t" + std::string(69, 'n') + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(vocab_line(c.word, 1700000000, c.book), c.line);
  }
}

class DictionaryPage : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    fs::create_directories(root_.host("us/documents/dictionaries"));
    sdw::Options o;
    o.bookname = "Pocket English";
    o.storage = sdw::Storage::dictzip;
    sdw::write_dictionary(root_.host("us/documents/dictionaries/pocket"),
                          {{"run", "verb\nto move fast on foot\nalso: sprint, dash"}}, o);
    strcpy(app.reader.open_path, "/mnt/us/documents/Tab\tName.epub");
  }
  // Shows the page for the selection and closes it with a tap; false when it did not wait.
  bool show(const std::string& selection) {
    touches_.touch(500, 700);
    dictionary_page(selection.data(), selection.size());
    return ScriptedTouch::done();
  }
  std::string vocab() const {
    return file_exists(root_.state("vocab.tsv")) ? read_file(root_.state("vocab.tsv")) : "";
  }
};

TEST_F(DictionaryPage, ShowsTheDefinitionAndRecordsTheWord) {
  ASSERT_TRUE(show("Running,"));
  EXPECT_EQ(read_file(root_.host("tmp/ql-dict.txt")),
            "Pocket English\n(run)\nverb\nto move fast on foot\nalso: sprint, dash\n\n");
  // Header, then one line each from y 298 on: dictionary name, headword, part of speech, the
  // definition and the "also:" line; the space below stays blank.
  EXPECT_LT(darkest(0, 0, W(), 225), 100) << "header";
  for (int line = 0; line < 5; ++line) {
    SCOPED_TRACE(line);
    EXPECT_LT(darkest(48, 298 + 62 * line - 40, W() - 96, 50), 100);
  }
  EXPECT_EQ(darkest(0, 298 + 62 * 5 + 20, W(), H() - 700), 255);
  const std::string v = vocab();
  ASSERT_EQ(v.substr(0, 8), "running\t") << v;
  EXPECT_TRUE(v.ends_with("\tTab Name.epub\n")) << v;
}

// The longest word looked up stays inside the header, whose title fits it at no size.
TEST_F(DictionaryPage, ALongWordStaysInsideTheHeader) {
  ASSERT_TRUE(show(std::string(100, 'w')));
  EXPECT_LT(darkest(116, 130, W() - 170, 90), 100) << "the word";
  EXPECT_EQ(darkest(W() - 53, 100, 53, 120), 255) << "nothing past the header's width";
}

TEST_F(DictionaryPage, UnknownAndEmptyWords) {
  ASSERT_TRUE(show("Zzyzx"));
  EXPECT_EQ(read_file(root_.host("tmp/ql-dict.txt")), "No definition found for 'zzyzx'.\n");
  EXPECT_LT(darkest(48, 298 - 40, W() - 96, 50), 100) << "the message is shown like a definition";
  ASSERT_TRUE(show("2024"));
  const std::string v = vocab();
  EXPECT_EQ(v.substr(0, 6), "zzyzx\t") << v;
  EXPECT_EQ(v.find('\n'), v.size() - 1) << "digits are not recorded: " << v;
}

// Words that dashes join have no entry of their own: the part under the finger is looked up,
// or each part in turn; a compound with an entry is looked up whole.
TEST_F(DictionaryPage, DashJoinedWordsAreLookedUpByTheirParts) {
  sdw::Options o;
  o.bookname = "Dashes";
  sdw::write_dictionary(root_.host("us/documents/dictionaries/dashes"),
                        {{"peculiar", "odd"}, {"that", "the one there"}, {"well-known", "famous"}}, o);
  const std::string em = "\xE2\x80\x94";
  const std::string quote = "\xE2\x80\x9C";
  const struct {
    const char* name;
    std::string selection;
    size_t finger;
    std::string word;        // recorded and shown
    std::string definition;  // a line of the definitions file
  } cases[] = {
      {"no finger: the first part", quote + "Peculiar" + em + "that", std::string::npos, "peculiar", "odd"},
      {"finger on the second part", "Peculiar" + em + "that,", 12, "that", "the one there"},
      {"finger on the second part after a quotation mark", quote + "Peculiar" + em + "that", 15, "that",
       "the one there"},
      {"finger on the first part", "Peculiar" + em + "that", 2, "peculiar", "odd"},
      {"two hyphens", "peculiar--that", 11, "that", "the one there"},
      {"the first part has none: the next one", "zorp" + em + "that", std::string::npos, "that",
       "the one there"},
      {"a compound with an entry stays whole", "Well-known", 6, "well-known", "famous"},
      {"no part has an entry", "Zorp" + em + "blick", 1, "zorp" + em + "blick",
       "No definition found for 'zorp" + em + "blick'."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    touches_.touch(500, 700);
    dictionary_page(c.selection.data(), c.selection.size(), c.finger);
    ASSERT_TRUE(ScriptedTouch::done());
    const std::string shown = read_file(root_.host("tmp/ql-dict.txt"));
    EXPECT_NE(shown.find(c.definition + "\n"), std::string::npos) << shown;
    const std::string v = vocab();
    const size_t line = v.rfind('\n', v.size() - 2);
    EXPECT_EQ(v.substr(line == std::string::npos ? 0 : line + 1, c.word.size() + 1), c.word + "\t") << v;
  }
}

TEST_F(DictionaryPage, WithoutADictionaryThePageSaysWhereOneGoes) {
  fs::remove_all(root_.host("us/documents/dictionaries"));
  fs::create_directories(root_.host("us/documents/dictionaries"));
  ASSERT_TRUE(show("run"));
  // Not the one line of "No definition found": the message and where dictionaries go, in more.
  for (int line = 0; line < 3; ++line) {
    SCOPED_TRACE(line);
    EXPECT_LT(darkest(48, 298 + 62 * line - 40, W() - 96, 50), 100);
  }
  EXPECT_FALSE(file_exists(root_.host("tmp/ql-dict-count.txt"))) << "no file is left behind";
  EXPECT_EQ(vocab().substr(0, 4), "run\t") << "the lookup is still recorded";
}

TEST_F(DictionaryPage, NoDefinitionsFileLeavesTheScreenAlone) {
  fs::remove_all(root_.host("tmp"));
  ql_rect(0, 0, W(), H(), 128);
  touches_.touch(500, 700);
  const std::string selection = "run";
  dictionary_page(selection.data(), selection.size());
  EXPECT_FALSE(ScriptedTouch::done()) << "the page waited";
  EXPECT_EQ(darkest(0, 0, W(), H()), 128);
  EXPECT_EQ(vocab().substr(0, 4), "run\t") << "the lookup is still recorded";
}
}  // namespace
