// Markup that real books use and that must not run words together or lose where they go:
// tables, definition lists, preformatted text, soft hyphens, and pictures that open chapters or
// carry link targets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "book/book_model.h"
#include "book/toc.h"
#include "book_fixture.h"
#include "display/ql_error.h"

namespace {

// "word" for a word that continues the line, "|word" for one that starts a new line (a block or
// document break); glued words are written "+word".
std::vector<std::string> layout_marks() {
  std::vector<std::string> out;
  for (uint64_t i = 0; i < ql_word_count(); ++i) {
    const BookWord& w = ql_words()[i];
    const std::string mark = w.brk != BRK_NONE ? "|" : w.join ? "+" : "";
    out.push_back(mark + w.text);
  }
  return out;
}

TEST(XhtmlWords, TablesListsAndPreformattedTextKeepTheirWordsAndLines) {
  struct Case {
    const char* name;
    std::string body;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"table with a caption and header cells",
       "<table><caption>Entities</caption>"
       "<tr><th>Entity</th><th>Decimal</th><th>Hexadecimal</th><th>Description</th></tr>"
       "<tr><td>amp</td><td>38</td><td>26</td><td>ampersand</td></tr></table>after",
       {"|Entities", "|Entity", "Decimal", "Hexadecimal", "Description", "|amp", "38", "26",
        "ampersand", "|after"}},
      {"cells holding inline markup",
       "<table><tr><td><b>Name</b></td><td><i>Value</i></td></tr>"
       "<tr><td>alpha</td><td>1</td></tr></table>",
       {"|Name", "Value", "|alpha", "1"}},
      {"definition list",
       "<dl><dt>Term one</dt><dd>Definition one.</dd><dt>Term two</dt><dd>Definition two.</dd></dl>",
       {"|Term", "one", "|Definition", "one.", "|Term", "two", "|Definition", "two."}},
      {"preformatted block",
       "<p>Code:</p><pre>int main() {\n  return 0;\n}\n</pre><p>Done.</p>",
       {"|Code:", "|int", "main()", "{", "|return", "0;", "|}", "|Done."}},
      {"line breaks outside pre stay white space",
       "<p>one\ntwo</p>",
       {"|one", "two"}},
      {"a word glued across an inline tag inside a cell",
       "<table><tr><td>x<sup>2</sup></td><td>y</td></tr></table>",
       {"|x", "+2", "y"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenedBook b(simple_book({c.body}));
    ASSERT_EQ(b.ok, 1) << ql_error();
    EXPECT_EQ(layout_marks(), c.want);
  }
}

TEST(XhtmlWords, SoftHyphensStayInTheWordsButNeverInSearchOrContents) {
  OpenedBook b(simple_book({"<h1>Every&#173;thing</h1><p>The art&shy;ist can ex\xC2\xADpress "
                            "every&shy;thing.</p>"}));
  ASSERT_EQ(b.ok, 1) << ql_error();
  // The words keep their break points for the paginator.
  EXPECT_EQ(word_texts(), (std::vector<std::string>{"Every\xC2\xADthing", "The", "art\xC2\xADist",
                                                    "can", "ex\xC2\xADpress",
                                                    "every\xC2\xADthing."}));
  uint64_t hits[4];
  ASSERT_EQ(ql_search("artist can express", hits, 4), 1u);
  EXPECT_EQ(hits[0], 2u);
  ASSERT_EQ(ql_search("everything", hits, 4), 2u);
  EXPECT_EQ(ql_search("art-ist", hits, 4), 0u);
  ql_toc_from_words();
  ASSERT_EQ(ql_toc_count(), 1u);
  EXPECT_STREQ(ql_toc()[0].title, "Everything");
}

TEST(XhtmlWords, AChapterOpeningWithAPictureKeepsItsDocumentStart) {
  EpubPlan plan = simple_book({"<p>One.</p>", "<div><img src=\"../images/a.png\"/></div><p>Two.</p>",
                               "<p>Three.</p><img src=\"../images/a.png\"/>"});
  OpenedBook b(plan);
  ASSERT_EQ(b.ok, 1) << ql_error();
  const BookWord* w = ql_words();
  ASSERT_EQ(ql_word_count(), 5u);
  EXPECT_EQ(w[1].style, STYLE_PICTURE);
  EXPECT_EQ(w[1].brk, BRK_DOCUMENT);
  EXPECT_EQ(w[2].brk, BRK_BLOCK);  // the text after the picture
  EXPECT_EQ(w[4].style, STYLE_PICTURE);
  EXPECT_EQ(w[4].brk, BRK_BLOCK);  // a picture later in a chapter is an ordinary block
}

TEST(XhtmlWords, AnIdOnAPictureAnchorsThePictureItself) {
  EpubPlan plan = simple_book(
      {"<p><a href=\"ch2.xhtml#fig1\">see figure</a> <a href=\"ch2.xhtml#cap\">caption</a></p>",
       "<p>Text before.</p><img id=\"fig1\" src=\"../images/a.png\"/>"
       "<p id=\"cap\">Figure one.</p>"});
  OpenedBook b(plan);
  ASSERT_EQ(b.ok, 1) << ql_error();
  const int64_t figure = ql_link_token(1);
  ASSERT_GE(figure, 0);
  EXPECT_EQ(ql_words()[figure].style, STYLE_PICTURE);
  EXPECT_EQ(ql_link_token(2), figure + 1);
}

}  // namespace
