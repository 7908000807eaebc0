// Markup that real books use and that must not run words together: tables, definition lists,
// preformatted text and soft hyphens.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/ql_error.h"
#include "book/book_model.h"
#include "book/toc.h"
#include "book_fixture.h"

namespace {

// "word" for a word that continues the line, "|word" for one that starts a new block or document,
// "/word" for one after a line break inside its block; glued words are written "+word".
std::vector<std::string> layout_marks() {
  std::vector<std::string> out;
  for (uint64_t i = 0; i < ql_word_count(); ++i) {
    const BookWord& w = ql_words()[i];
    const std::string mark = w.brk == BRK_LINE ? "/" : w.brk != BRK_NONE ? "|" : w.join ? "+" : "";
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
      {"verse: line breaks inside a stanza, a blank line between stanzas",
       "<p>Tyger Tyger,<br/>burning bright,<br/><br/>In the<br>forests</p><p>Done.<br/></p>",
       {"|Tyger", "Tyger,", "/burning", "bright,", "|In", "the", "/forests", "|Done."}},
      {"a line break at the start of a block adds nothing",
       "<p><br/>One</p><br/><p>Two</p>",
       {"|One", "|Two"}},
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

}  // namespace
