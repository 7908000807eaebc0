#include <gtest/gtest.h>

#include "base/ql_error.h"
#include "book/convert/convert_model.h"
#include "convert_fixture.h"

namespace {

ConvBook read_text(const std::string& bytes) {
  ConvBook book;
  EXPECT_FALSE(text_read(bytes, "/mnt/us/documents/My Story.txt", book).has_value());
  return book;
}

std::vector<std::string> titles(const ConvBook& b) {
  std::vector<std::string> out;
  for (const ConvChapter& c : b.chapters) out.push_back(c.title);
  return out;
}

std::string lines(size_t n, const char* end) {
  std::string s;
  for (size_t i = 0; i < n; i++) s += "Line number " + std::to_string(i) + " of the text.  \t" + end;
  return s;
}

TEST(ConvertText, CrlfAndLfGiveTheSameChapters) {
  const struct {
    const char* name;
    std::string lf, crlf;
  } cases[] = {
      {"line per paragraph", lines(300, "\n"), lines(300, "\r\n")},
      {"blank-line paragraphs", "Chapter 1\n\none two\nthree\n\nfour  \n\n" + lines(20, "\n\n"),
       "Chapter 1\r\n\r\none two\r\nthree\r\n\r\nfour  \r\n\r\n" + lines(20, "\r\n\r\n")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ConvBook lf = read_text(c.lf), crlf = read_text(c.crlf);
    ASSERT_EQ(lf.chapters.size(), crlf.chapters.size());
    for (size_t i = 0; i < lf.chapters.size(); i++) {
      EXPECT_EQ(lf.chapters[i].title, crlf.chapters[i].title);
      EXPECT_EQ(lf.chapters[i].body, crlf.chapters[i].body);
    }
  }
}

TEST(ConvertText, ParagraphsHeadingsAndChapters) {
  const std::string long_text = std::string(5000, 'x') + "\n";
  const struct {
    const char* name;
    std::string text;
    std::vector<std::string> titles;
    std::string first_body;
  } cases[] = {
      {"heading near the start titles the first chapter", "Chapter 1\nIt began.\n", {"Chapter 1"},
       "<h2>Chapter 1</h2>\n<p>It began.</p>\n"},
      {"heading after 5000 bytes opens a chapter", long_text + "CHAPTER TWO\nMore.\n", {"", "CHAPTER TWO"}, ""},
      {"71-byte chapter line is a paragraph", "Chapter " + std::string(63, 'a') + "\n", {""},
       "<p>Chapter " + std::string(63, 'a') + "</p>\n"},
      {"short words need their space", "Part\nPrologue\nosa 2\n", {"Prologue"},
       "<p>Part</p>\n<h2>Prologue</h2>\n<h2>osa 2</h2>\n"},
      {"blank lines make paragraphs", "a b\nc\n\nd & <e>\n", {""}, "<p>a b c</p>\n<p>d &amp; &lt;e&gt;</p>\n"},
      {"few blank lines keep lines", lines(30, "\n") + "\n" + "x\n", {""}, ""},
      {"empty text", "", {""}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ConvBook b = read_text(c.text);
    EXPECT_EQ(titles(b), c.titles);
    EXPECT_EQ(b.title, "My Story");
    if (!c.first_body.empty()) {
      EXPECT_EQ(b.chapters[0].body, c.first_body);
    }
  }
  ConvBook kept = read_text(lines(30, "\n") + "\nx\n");
  EXPECT_EQ(std::count(kept.chapters[0].body.begin(), kept.chapters[0].body.end(), '\n'), 31);
}

TEST(ConvertText, BadEncodingsFallBackAndStillRead) {
  const struct {
    const char* name;
    std::string bytes;
    std::string want;
  } cases[] = {
      {"Latin-1", "caf\xE9 cr\xE8me\n", "caf\xC3\xA9 cr\xC3\xA8me"},
      {"overlong slash", "a\xC0\xAF" "b\n", "a\xC3\x80\xC2\xAF" "b"},
      {"surrogate", "\xED\xA0\x80x\n", "\xC3\xAD\xC2\xA0\xE2\x82\xACx"},
      {"UTF-8", "\xC3\xA9t\xC3\xA9\n", "\xC3\xA9t\xC3\xA9"},
      {"UTF-16 LE", std::string("\xFF\xFEh\0i\0", 6), "hi"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ConvBook b = read_text(c.bytes);
    EXPECT_EQ(b.chapters[0].body, "<p>" + c.want + "</p>\n");
  }
}

TEST(ConvertText, ConvertedTextOpensWithItsWords) {
  ConvertRoot root;
  const std::string path = root.put("tale.txt", "Chapter One\n\nThe quick fox.\n\nJumped over.\n\n");
  ASSERT_EQ(ql_open(path.c_str()), 1) << ql_error();
  EXPECT_EQ(text_words(), (std::vector<std::string>{"Chapter", "One", "The", "quick", "fox.", "Jumped", "over."}));
  EXPECT_STREQ(ql_title(), "tale");
}

}  // namespace
