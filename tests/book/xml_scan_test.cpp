#include <gtest/gtest.h>

#include "book/html_entities.h"
#include "book/xml_scan.h"

namespace {

struct Tag {
  std::string text, name;
  bool closing, self_closing;
  bool operator==(const Tag&) const = default;
};

std::vector<Tag> tags_of(const std::string& doc) {
  std::vector<Tag> out;
  XmlScanner s(doc.c_str());
  while (nexttag(s)) out.push_back({std::string(s.text_run()), std::string(s.name), s.closing, s.self_closing});
  return out;
}

TEST(XmlScan, TagsTextCommentsAndCdata) {
  auto tags = tags_of("a<x:p class='q>r'>b<!-- <i> -->c<![CDATA[<raw>]]>d<br/></x:p>e");
  std::vector<Tag> want = {
      {"a", "p", false, false}, {"b", "", false, true}, {"<raw>", "", false, false},
      {"d", "br", false, true}, {"", "p", true, false},
  };
  EXPECT_EQ(tags, want);
  EXPECT_TRUE(tags_of("text only").empty());
  EXPECT_TRUE(tags_of("<").empty());
  EXPECT_TRUE(tags_of("<p class=\"never closed>text").empty());
  EXPECT_EQ(tags_of("<!-- unterminated").size(), 1u);
  EXPECT_EQ(tags_of(std::string(100, 'n') + "<" + std::string(200, 'x') + ">")[0].name.size(), kTagNameMax);
}

TEST(XmlScan, AttributesAreExactQuotedAndDecoded) {
  std::string doc = "<img  src = \"a&amp;b.png\" xlink:href='x.png' alt=unquoted data-x=\"1\" id=\"long\"/>";
  XmlScanner s(doc.c_str());
  ASSERT_TRUE(nexttag(s));
  EXPECT_EQ(attr(s, "src", 100), "a&b.png");
  EXPECT_EQ(attr(s, "xlink:href", 100), "x.png");
  EXPECT_EQ(attr(s, "href", 100), std::nullopt);
  EXPECT_EQ(attr(s, "alt", 100), std::nullopt);
  EXPECT_EQ(attr(s, "SRC", 100), std::nullopt);
  EXPECT_EQ(attr(s, "id", 3), "lo");
  EXPECT_EQ(attr(s, "data-x", 100), "1");
  EXPECT_TRUE(s.self_closing);
}

TEST(XmlScan, DecodesEveryCharacterReference) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"a&amp;b", "a&b"},
      {"&lt;&gt;&quot;&apos;", "<>\"'"},
      {"x&nbsp;y", "x y"},  // titles, contents, feeds: only the word reader ties the two words
      {"&mdash;", "\xE2\x80\x94"},
      {"&hellip;&rsquo;&eacute;&euro;", "\xE2\x80\xA6\xE2\x80\x99\xC3\xA9\xE2\x82\xAC"},
      {"&CounterClockwiseContourIntegral;", "\xE2\x88\xB3"},
      {"&NotEqualTilde;", "\xE2\x89\x82\xCC\xB8"},
      {"&bogus; &amp", "&bogus; &amp"},
      {"&#65;&#x42;&#X43;", "ABC"},
      {"&#x1F600;", "\xF0\x9F\x98\x80"},
      {"&#0;", "&#0;"},
      {"&#x110000;x", "x"},
      {"&#xD800;", "\xEF\xBF\xBD"},
      {"&#;&#x;&#12a;", "&#;&#x;&#12a;"},
      {"&#00000000000065;", "&#00000000000065;"},
      {"&&amp;", "&&"},
      {"no references", "no references"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(decode(c.in), c.out);
  }
}

TEST(XmlScan, EntityTableIsSortedAndComplete) {
  auto table = html_entities();
  EXPECT_EQ(table.size(), 2125u);
  for (size_t i = 1; i < table.size(); i++) ASSERT_LT(table[i - 1].name, table[i].name);
  size_t longest = 0;
  for (const HtmlEntity& e : table) longest = std::max(longest, e.name.size());
  EXPECT_EQ(longest, kHtmlEntityNameMax);
}

TEST(XmlScan, NormalisesMemberPaths) {
  struct Case {
    const char* base;
    const char* href;
    const char* out;
  } cases[] = {
      {"OEBPS/", "Text/ch1.xhtml", "OEBPS/Text/ch1.xhtml"},
      {"OEBPS/Text/", "../Images/a.png", "OEBPS/Images/a.png"},
      {"", "dir/../file.xhtml", "file.xhtml"},
      {"a/", "../../../x", "x"},
      {"OEBPS/", "ch1.xhtml#sec2", "OEBPS/ch1.xhtml"},
      {"OEBPS/", "ch1.xhtml?v=1#x", "OEBPS/ch1.xhtml"},
      {"", "my%20book%2Fch.xhtml", "my book/ch.xhtml"},
      {"", "%zz%4", "%zz%4"},
      {"", "caf%C3%A9.xhtml", "caf\xC3\xA9.xhtml"},
      {"", ".//./a//b/.", "a/b"},
      {"", "#only", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.base) + c.href);
    EXPECT_EQ(normpath(c.base, c.href), c.out);
  }
  std::string deep;
  for (int i = 0; i < 300; i++) deep += "d/";
  std::string kept = normpath("", deep + "f");
  EXPECT_EQ(std::count(kept.begin(), kept.end(), '/'), 255);
}

}  // namespace

#include <random>

#include "book/epub.h"

namespace {

// Random markup through the whole XHTML reader: never a crash, and every word it makes keeps the
// stream's invariants.
TEST(XhtmlWords, RandomMarkupKeepsTheInvariants) {
  const std::string pieces[] = {"<", ">", "/", "\"", "'", "&", ";", "#", "x", "1", " ", "\n", "=", "!--", "-->",
                                "<![CDATA[", "]]>", "<body>", "</body>", "<p>", "</p>", "<b>", "</b>", "<i>",
                                "<a href=\"#n\">", "</a>", "<ol>", "<li>", "</ol>", "<img src=\"p.png\"/>",
                                "<script>", "</script>", "&amp;", "&nbsp;", "&#x41;", "\xC2\xA0", "word", "id=\"q\"",
                                "<span epub:type=\"pagebreak\">", "</span>", "<div hidden=\"\">", "<div>",
                                "</div>", "<br>", "</br>"};
  std::mt19937 rng(1234);
  for (int round = 0; round < 3000; round++) {
    std::string doc = "<body>";
    size_t n = rng() % 60;
    for (size_t i = 0; i < n; i++) doc += pieces[rng() % std::size(pieces)];
    BookModel book;
    book.spine.push_back({"OEBPS/a.xhtml", 0});
    ASSERT_TRUE(xhtml_words(book, doc, "OEBPS/a.xhtml"));
    for (const BookWord& w : book.words) {
      std::string_view t = w.text;
      ASSERT_FALSE(t.empty()) << doc;
      ASSERT_EQ(t.find_first_of(" \t\n\r\f\v"), std::string_view::npos) << doc;
      ASSERT_EQ(t.find("\xC2\xA0"), std::string_view::npos) << doc;
      if (w.brk != BRK_NONE) {
        ASSERT_EQ(w.join, 0) << doc;
      }
      if (w.tie) {
        ASSERT_EQ(w.brk, BRK_NONE) << doc;
        ASSERT_EQ(w.join, 0) << doc;
      }
      ASSERT_LE(w.link, book.links.size()) << doc;
      ASSERT_EQ(w.style == STYLE_PICTURE, t[0] == kPictureMark) << doc;
    }
    for (const BookAnchor& a : book.anchors) ASSERT_LE(a.word, book.words.size());
  }
}

}  // namespace
