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
// "/word" for one after a line break inside its block; glued words are written "+word", words
// after a no-break space "~word".
std::vector<std::string> layout_marks() {
  std::vector<std::string> out;
  for (uint64_t i = 0; i < ql_word_count(); ++i) {
    const BookWord& w = ql_words()[i];
    const std::string mark = w.brk == BRK_LINE  ? "/"
                             : w.brk != BRK_NONE ? "|"
                             : w.join           ? "+"
                             : w.tie            ? "~"
                                                : "";
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
      {"a line break written with an end tag is one break", "<p>a<br></br>b<br/></p><p>c</p>",
       {"|a", "/b", "|c"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenedBook b(simple_book({c.body}));
    ASSERT_EQ(b.ok, 1) << ql_error();
    EXPECT_EQ(layout_marks(), c.want);
  }
}

// Text that is not the book's own: hidden elements (a navigation document in the spine keeps its
// page list so) and the printed page numbers of page-break markers.
TEST(XhtmlWords, HiddenElementsAndPageBreakMarkersHoldNoWords) {
  struct Case {
    const char* name;
    std::string body;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"a hidden page list",
       "<nav epub:type=\"page-list\" hidden=\"\"><ol><li><a href=\"#p75\">75</a></li>"
       "<li><a href=\"#p243\">243</a></li></ol></nav><p>Text</p>",
       {"|Text"}},
      {"hidden without a value, elements of its own name nested in it",
       "<p>One</p><div hidden><div>inner</div>rest<div/></div><p>Two</p>", {"|One", "|Two"}},
      {"a hidden empty element or picture hides nothing after it",
       "<p>a<span hidden=\"hidden\"/>b<img hidden=\"\" src=\"x.png\">c</p>", {"|a", "+b", "+c"}},
      {"a hidden picture named in capitals hides nothing after it",
       "<p>a<IMG hidden=\"\" src=\"x.png\">b</p><p>c</p>", {"|a", "+b", "|c"}},
      {"a hidden paragraph left open ends at the next block", "<p hidden=\"\">gone<p>Kept</p>",
       {"|Kept"}},
      {"an attribute that only holds the word is no mark",
       "<p class=\"hidden\" data-hidden=\"1\">Kept <span class=\"pagebreak\">too</span></p>",
       {"|Kept", "too"}},
      {"page-break markers by type and by role",
       "<p>marching along <span epub:type=\"pagebreak\" title=\"173\">173</span> the "
       "<span role=\"doc-pagebreak\">174</span>high <span epub:type=\"x pagebreak\">175</span>road"
       "<span epub:type=\"pagebreak\" title=\"176\"/></p>",
       {"|marching", "along", "the", "high", "road"}},
      {"no-break spaces join without gluing",
       "<p>\xC2\xAB&nbsp;Oui&#160;!\xC2\xA0\xC2\xBB dit-il, a&nbsp; b <i>c</i>&nbsp;<i>d</i>e</p>",
       {"|\xC2\xAB", "~Oui", "~!", "~\xC2\xBB", "dit-il,", "a", "b", "c", "~d", "+e"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenedBook b(simple_book({c.body}));
    ASSERT_EQ(b.ok, 1) << ql_error();
    EXPECT_EQ(layout_marks(), c.want);
  }
}

// The words as readers before left-out text numbered them, rebuilt from the runs the open book
// records: "-" for each word left out now. Each run must begin where that numbering put it.
std::vector<std::string> earlier_numbering() {
  std::vector<std::string> out;
  const std::vector<LeftOutRun>& runs = ql_book().left_out;
  size_t run = 0;
  for (uint64_t i = 0; i <= ql_word_count(); ++i) {
    for (; run < runs.size() && runs[run].at == i; ++run) {
      EXPECT_EQ(runs[run].old_at, out.size());
      out.insert(out.end(), runs[run].count, "-");
    }
    if (i < ql_word_count()) out.emplace_back(ql_words()[i].text);
  }
  EXPECT_EQ(run, runs.size()) << "runs in order of the words they stand before";
  return out;
}

// Saved positions count the words earlier readers kept: each left-out word is counted where they
// had it (their texts, checked against those readers, are here with "-" for what is left out).
TEST(XhtmlWords, LeftOutWordsAreCountedWhereEarlierReadersHadThem) {
  struct Case {
    const char* name;
    std::string body;
    std::vector<std::string> earlier;
    size_t runs;
  };
  const Case cases[] = {
      {"a hidden page list",
       "<nav epub:type=\"page-list\" hidden=\"\"><ol><li><a href=\"#p75\">75</a></li>"
       "<li><a href=\"#p243\">Page 243</a></li></ol></nav><p>Text</p>",
       {"-", "-", "-", "Text"}, 1},
      {"page-break markers between words and at the end",
       "<p>marching along <span epub:type=\"pagebreak\" title=\"173\">173</span> the "
       "<span role=\"doc-pagebreak\">174</span>high <span epub:type=\"x pagebreak\">175</span>road"
       "<span epub:type=\"pagebreak\" title=\"176\"/></p><p>end<span epub:type=\"pagebreak\">9</span></p>",
       {"marching", "along", "-", "the", "-", "high", "-", "road", "end", "-"}, 4},
      {"pictures in hidden elements counted, scripts and pictures without a file not",
       "<p>a</p><div hidden=\"\"><script>var n = 1;</script><img src=\"map.png\"/>two "
       "<img src=\"data:x\"/>words</div><p>b<img hidden=\"\" src=\"x.png\"/>c"
       "<img hidden=\"\" src=\"\"/></p>",
       {"a", "-", "-", "-", "b", "-", "c"}, 2},
      {"a hidden paragraph left open", "<p hidden=\"\">gone here<p>Kept</p>", {"-", "-", "Kept"}, 1},
      {"neighbours share a run; entities part words as they did",
       "<p>a</p><p hidden=\"\">b</p><span epub:type=\"pagebreak\">2</span>"
       "<p>c <span hidden=\"\">x&#32;y&nbsp;z</span></p>",
       {"a", "-", "-", "c", "-", "-", "-"}, 2},
      {"nothing left out", "<p>one <span hidden=\"\"/>two</p>", {"one", "two"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenedBook b(simple_book({c.body}));
    ASSERT_EQ(b.ok, 1) << ql_error();
    EXPECT_EQ(earlier_numbering(), c.earlier);
    EXPECT_EQ(ql_book().left_out.size(), c.runs);
  }
  // Across documents, the numbering goes on.
  OpenedBook b(simple_book({"<p>one <span epub:type=\"pagebreak\">1</span></p>",
                            "<div hidden=\"\">x y</div><p>two</p>"}));
  ASSERT_EQ(b.ok, 1) << ql_error();
  EXPECT_EQ(earlier_numbering(), (std::vector<std::string>{"one", "-", "-", "-", "two"}));
}

TEST(XhtmlWords, TheIdsOfTextLeftOutStillLeadToWhereItWas) {
  // The bold left open inside the hidden element stays inside it.
  OpenedBook b(simple_book({"<div hidden=\"\"><b>x</div><p><a href=\"#p2\">Page</a> one <span epub:type=\"pagebreak\" "
                            "id=\"p2\">2</span>two <p hidden=\"\" id=\"gone\"><a href=\"#gone\">x</a>"
                            "<span id=\"inner\">y</span></p><a href=\"#inner\">three</a></p>"}));
  ASSERT_EQ(b.ok, 1) << ql_error();
  EXPECT_EQ(word_texts(), (std::vector<std::string>{"Page", "one", "two", "three"}));
  ASSERT_EQ(ql_book().links.size(), 2u) << "no link is made for the hidden one";
  EXPECT_EQ(ql_link_token(1), 2);
  EXPECT_EQ(ql_link_token(2), 3);
  EXPECT_EQ(ql_words()[0].style, STYLE_PLAIN);
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
  // A query pasted from a word that holds one finds it too.
  ASSERT_EQ(ql_search("ex\xC2\xADpress every\xC2\xADthing", hits, 4), 1u);
  EXPECT_EQ(hits[0], 4u);
  ql_toc_from_words();
  ASSERT_EQ(ql_toc_count(), 1u);
  EXPECT_STREQ(ql_toc()[0].title, "Everything");
}

}  // namespace
