// Opening a book whose notes and position were saved before hidden elements and page-break
// markers were left out of its text: they land on the words the reader showed then, once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "app/reader/paginator.h"
#include "app/reader/reader_open.h"
#include "app/reader/reader_words.h"
#include "app/ui/app_state.h"
#include "base/paths.h"
#include "book/annotations.h"
#include "book/book_model.h"
#include "support/epub_builder.h"
#include "support/reader_book.h"
#include "support/ui_screen_fixture.h"

namespace {
constexpr int kParagraphs = 60;
constexpr int kParagraphWords = 30;

// "w12", "p3": built by appending, which the optimiser reads without a false overlap warning.
std::string numbered(char letter, int n) {
  std::string s(1, letter);
  s += std::to_string(n);
  return s;
}

// A book and its words as readers before left-out text numbered them (every word counted).
struct Book {
  std::string epub;
  std::vector<std::string> earlier;
};

// A hidden page list first, then paragraphs of distinct words ("w0", "w1"...) with a page-break
// marker ("p2", "p3"...) inside every fifth, and one more marker at the very end.
Book marked_book() {
  Book b;
  std::string body = "<nav epub:type=\"page-list\" hidden=\"\"><ol>";
  for (int p = 1; p <= 12; ++p) {
    const std::string n = std::to_string(p);
    body += "<li><a href=\"#p" + n + "\">Page " + n + "</a></li>";
    b.earlier.insert(b.earlier.end(), {"Page", n});
  }
  body += "</ol></nav>";
  int word = 0, page = 1;
  for (int para = 0; para < kParagraphs; ++para) {
    body += "<p>";
    for (int i = 0; i < kParagraphWords; ++i) {
      const std::string w = numbered('w', word++);
      body += w + " ";
      b.earlier.push_back(w);
      if (i == 14 && para % 5 == 4) {
        const std::string n = numbered('p', ++page);
        body += "<span epub:type=\"pagebreak\" id=\"" + n + "\">" + n + "</span> ";
        b.earlier.push_back(n);
      }
    }
    body += "</p>";
  }
  body += "<div role=\"doc-pagebreak\">end</div>";
  b.earlier.push_back("end");
  b.epub = build_epub(simple_book({body}));
  return b;
}

Book plain_book() {
  Book b;
  std::string body;
  for (int i = 0; i < 400; ++i) {
    b.earlier.push_back(numbered('w', i));
    body += b.earlier.back() + " ";
  }
  b.epub = build_epub(simple_book({"<p>" + body + "</p>"}));
  return b;
}

class EarlierNumbering : public ScreenTest {
 protected:
  void TearDown() override {
    close_test_book();
    ScreenTest::TearDown();
  }
  void write_book(const Book& b) {
    book_ = b;
    path_ = root_.host("us/book.epub");
    write_file(path_, b.epub);
    key_ = book_path_key(ql_device_path(path_.c_str()));
  }
  // Opens the book afresh, as a new start of the program does.
  void open() {
    close_test_book();
    book_open(path_.c_str(), path_.size());
    ASSERT_TRUE(app.reader.book_open);
  }
  std::string state(const char* ext) const { return root_.state(key_ + ext); }
  uint64_t earlier_index(const std::string& word) const {
    return static_cast<uint64_t>(std::find(book_.earlier.begin(), book_.earlier.end(), word) -
                                 book_.earlier.begin());
  }
  static std::string highlighted(size_t i) {
    char buffer[512];
    const Highlight& h = qla_hls()[i];
    return std::string(words_join_text(h.start, h.end, buffer, sizeof buffer));
  }

  Book book_;
  std::string path_, key_;
};

TEST_F(EarlierNumbering, NotesAndPositionLandOnTheWordsShownThenAndMoveOnce) {
  write_book(marked_book());
  open();
  ASSERT_LT(ql_word_count(), book_.earlier.size());
  ASSERT_GT(layout.page_count(), 7u);
  // In the earlier numbering the last word of page 5 comes after the 24 words of the page list and
  // the page numbers before it: taken as it stands, it would open page 6.
  const std::string last_of_page = ql_words()[layout.page_first_word(6) - 1].text;

  struct Mark {
    const char* name;
    std::string first, last;  // earlier words the highlight ran from and to
    const char* want;         // the text it shows now
  } const marks[] = {
      {"around a page number", "w133", "w136", "w133 w134 w135 w136"},
      {"a page number alone", "p2", "p2", "w135"},
      {"starting on a page number", "p3", "w286", "w285 w286"},
      {"a page of the hidden list", "Page", "1", "w0"},
      {"the marker that ends the book", "end", "end", "w1799"},
  };
  std::string notes;
  for (const Mark& m : marks) {
    notes += "HL " + std::to_string(earlier_index(m.first)) + " " + std::to_string(earlier_index(m.last) + 1) +
             " 1700000000 y " + m.name + "\n";
  }
  notes += "BT " + std::to_string(earlier_index("w900")) + " 1700000001 Page 9\n";
  notes += "BM 3 1700000002 Page 4\n";
  write_file(state(".notes"), notes);
  write_file(state(".pos"), std::to_string(earlier_index(last_of_page)) + " 40\n");

  for (const char* run : {"first open", "reopened"}) {
    SCOPED_TRACE(run);
    open();
    EXPECT_EQ(app.reader.page, 5u);
    ASSERT_EQ(qla_hl_count(), std::size(marks));
    for (size_t i = 0; i < std::size(marks); ++i) {
      SCOPED_TRACE(marks[i].name);
      EXPECT_STREQ(qla_hls()[i].note, marks[i].name);
      EXPECT_EQ(highlighted(i), marks[i].want);
    }
    ASSERT_EQ(qla_bm_count(), 2u);
    ASSERT_LT(qla_bms()[0].pos, ql_word_count());
    EXPECT_STREQ(ql_words()[qla_bms()[0].pos].text, "w900");
    EXPECT_EQ(qla_bms()[1].pos, layout.page_first_word(3)) << "a page bookmark keeps its page";

    // Both files now say they are in this numbering, in the formats their readers know.
    size_t position = 0;
    int font = 0;
    const std::string pos = read_file(state(".pos"));
    EXPECT_EQ(sscanf(pos.c_str(), "%zu %d", &position, &font), 2);
    EXPECT_EQ(position, layout.page_first_word(5));
    EXPECT_NE(pos.find(" WN 2\n"), std::string::npos);
    EXPECT_TRUE(read_file(state(".notes")).starts_with("WN 2\nHL "));
  }
}

TEST_F(EarlierNumbering, ABookWithNothingLeftOutKeepsItsNumbers) {
  write_book(plain_book());
  const std::string notes = "HL 10 13 1700000000 y three\nBT 250 1700000001 Mark\n";
  write_file(state(".notes"), notes);
  write_file(state(".pos"), "250 40\n");
  open();
  EXPECT_TRUE(ql_book().left_out.empty());
  ASSERT_EQ(qla_hl_count(), 1u);
  EXPECT_EQ(qla_hls()[0].start, 10u);
  EXPECT_EQ(qla_hls()[0].end, 13u);
  EXPECT_EQ(highlighted(0), "w10 w11 w12");
  ASSERT_EQ(qla_bm_count(), 1u);
  EXPECT_EQ(qla_bms()[0].pos, 250u);
  EXPECT_EQ(app.reader.page, layout_page_of_word(250));
  EXPECT_EQ(read_file(state(".notes")), notes) << "nothing moved, nothing written";
}

}  // namespace
