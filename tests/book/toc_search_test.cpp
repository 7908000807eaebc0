#include <gtest/gtest.h>

#include "base/ql_error.h"
#include "book/toc.h"
#include "book_fixture.h"

namespace {

struct Entry {
  std::string title;
  uint64_t pos;
  uint32_t level;
  bool operator==(const Entry&) const = default;
};

std::vector<Entry> toc_entries() {
  std::vector<Entry> out;
  for (size_t i = 0; i < ql_toc_count(); i++) out.push_back({ql_toc()[i].title, ql_toc()[i].pos, ql_toc()[i].level});
  return out;
}

// Three chapters: "Alpha one two" (0..2), "Beta three" with anchor "b2" at word 4, "Gamma".
EpubPlan three_chapters() {
  return simple_book({"<h1>Alpha</h1><p>one two</p>", "<h1>Beta</h1><p id=\"b2\">three</p>", "<h1>Gamma</h1>"});
}

EpubItem nav_item(const std::string& body, const std::string& href = "nav.xhtml") {
  return {"nav", href, "application/xhtml+xml", xhtml(body), "nav", false};
}

EpubItem ncx_item(const std::string& navmap, const std::string& href = "toc.ncx") {
  return {"ncx", href, "application/x-dtbncx+xml",
          "<?xml version=\"1.0\"?><ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\">"
          "<docTitle><text>Book</text></docTitle><navMap>" + navmap + "</navMap></ncx>",
          "", false};
}

std::string nav_point(const std::string& label, const std::string& src, const std::string& inner = "") {
  return "<navPoint><navLabel>\n  <text>" + label + "</text></navLabel><content src=\"" + src + "\"/>" + inner +
         "</navPoint>";
}

TEST(Contents, Epub3NavTocOnlyWithLevels) {
  EpubPlan plan = three_chapters();
  plan.items.push_back(nav_item(
      "<nav epub:type=\"landmarks\"><ol><li><a href=\"text/ch3.xhtml\">Landmark</a></li></ol></nav>"
      "<nav epub:type=\"toc\"><h2>Contents</h2><ol>"
      "<li><a href=\"text/ch1.xhtml\">  <span>Alpha</span>\n   &amp;   <b>more</b> </a></li>"
      "<li><a href=\"text/ch2.xhtml\">Be&#173;ta</a><ol><li><a href=\"text/ch2.xhtml#b2\">Beta two</a></li>"
      "<li><a href=\"text/missing.xhtml\">Gone</a></li><li><a href=\"text/ch3.xhtml\"> </a></li></ol></li>"
      "</ol></nav><nav epub:type=\"page-list\"><ol><li><a href=\"text/ch1.xhtml\">1</a></li></ol></nav>"));
  OpenedBook b(plan);
  ASSERT_EQ(b.ok, 1) << ql_error();
  EXPECT_EQ(ql_toc_from_nav(), 3u);
  EXPECT_EQ(toc_entries(), (std::vector<Entry>{{"Alpha & more", 0, 0}, {"Beta", 3, 0}, {"Beta two", 4, 1}}));
}

TEST(Contents, NcxNestedAndOutsideTheSpine) {
  EpubPlan plan = three_chapters();
  plan.items.push_back(ncx_item(nav_point("Alpha &amp; co", "text/ch1.xhtml",
                                          nav_point("Deep", "text/ch2.xhtml#b2")) +
                                    nav_point("Elsewhere", "text/appendix.xhtml") +
                                    nav_point("Gamma", "text/ch3.xhtml#nope")));
  OpenedBook b(plan);
  ASSERT_EQ(b.ok, 1) << ql_error();
  EXPECT_EQ(ql_toc_from_nav(), 3u);
  EXPECT_EQ(toc_entries(), (std::vector<Entry>{{"Alpha & co", 0, 0}, {"Deep", 4, 1}, {"Gamma", 5, 0}}));
}

TEST(Contents, SourcesInTheirOrderOfPreference) {
  std::string nav = "<nav epub:type=\"toc\"><ol><li><a href=\"../text/ch2.xhtml\">From nav</a></li></ol></nav>";
  std::string ncx = nav_point("From NCX", "text/ch3.xhtml");
  struct Case {
    const char* name;
    bool with_nav, with_ncx, ncx_first;
    std::vector<Entry> expected;
  } cases[] = {
      {"nav over an NCX listed after it", true, true, false, {{"From nav", 3, 0}}},
      {"nav over an NCX listed before it", true, true, true, {{"From nav", 3, 0}}},
      {"NCX alone", false, true, true, {{"From NCX", 5, 0}}},
      {"headings when neither", false, false, false, {{"Alpha", 0, 0}, {"Beta", 3, 0}, {"Gamma", 5, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EpubPlan plan = three_chapters();
    EpubItem nav_doc = nav_item(nav, "nav/nav.xhtml");  // in a folder of its own: hrefs resolve from there
    if (c.with_ncx && c.ncx_first) plan.items.push_back(ncx_item(ncx));
    if (c.with_nav) plan.items.push_back(nav_doc);
    if (c.with_ncx && !c.ncx_first) plan.items.push_back(ncx_item(ncx));
    OpenedBook b(plan);
    ASSERT_EQ(b.ok, 1) << ql_error();
    ql_toc_clear();
    ql_toc_add("stale", 99, 0);
    if (ql_toc_from_nav() == 0) {
      EXPECT_EQ(ql_toc_count(), 1u);  // untouched when the book has no navigation document
      ql_toc_from_words();
    }
    EXPECT_EQ(toc_entries(), c.expected);
  }
}

TEST(Contents, HeadingsCollapseRepeats) {
  OpenedBook b(simple_book({"<h1>Part <i>One</i></h1><p>x</p><h2>Part <i>One</i></h2><h2>A<b>B</b></h2>"
                            "<h2>Part One</h2><p>y</p>"}));
  ASSERT_EQ(b.ok, 1);
  ql_toc_from_words();
  EXPECT_EQ(toc_entries(), (std::vector<Entry>{{"Part One", 0, 0}, {"AB", 5, 0}, {"Part One", 7, 0}}));
}

TEST(Contents, TableKeepsTheFirst512) {
  std::string points;
  for (int i = 0; i < 600; i++) points += nav_point("Entry " + std::to_string(i), "text/ch1.xhtml");
  EpubPlan plan = three_chapters();
  plan.items.push_back(ncx_item(points));
  OpenedBook b(plan);
  ASSERT_EQ(b.ok, 1);
  EXPECT_EQ(ql_toc_from_nav(), 512u);
  EXPECT_STREQ(ql_toc()[511].title, "Entry 511");
  std::string long_title(400, 'x');
  ql_toc_clear();
  ql_toc_add(long_title.c_str(), 1, 2);
  ql_toc_add(nullptr, 2, 0);
  EXPECT_EQ(std::string(ql_toc()[0].title), long_title.substr(0, 255));
  EXPECT_STREQ(ql_toc()[1].title, "");
}

std::vector<uint64_t> search(const char* query, size_t max = 64) {
  std::vector<uint64_t> hits(max + 1);
  hits.resize(ql_search(query, hits.data(), max));
  return hits;
}

TEST(Search, PhrasesAcrossWordsAndPictures) {
  std::string many;
  for (int i = 1; i <= 20; i++) many.append("w").append(std::to_string(i)).append(" ");
  OpenedBook b(simple_book({"<p>The Quick brown fox. the quick<img src=\"x.png\"/>brown again quick The</p>",
                            "<p>" + many + "</p>"}));
  ASSERT_EQ(b.ok, 1);
  // Words: 0 The, 1 Quick, 2 brown, 3 fox., 4 the, 5 quick, 6 picture, 7 brown, 8 again, 9 quick, 10 The
  struct Case {
    const char* query;
    std::vector<uint64_t> hits;
  } cases[] = {
      {"quick brown", {1, 5}},
      {"QUICK BROWN", {1, 5}},
      {"brown quick", {}},
      {"  ui \t ro  ", {1, 5}},
      {"he", {0, 4, 10}},
      {"fox. the", {3}},
      {"", {}},
      {"   ", {}},
      {"w1 w2 w3 w4 w5 w6 w7 w8 w9 w10 w11 w12 w13 w14 w15 w16 nomatch nomatch nomatch", {11}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    EXPECT_EQ(search(c.query), c.hits);
  }
  EXPECT_EQ(search("he", 2), (std::vector<uint64_t>{0, 4}));
  EXPECT_EQ(ql_search(nullptr, nullptr, 5), 0u);
  uint64_t hit;
  EXPECT_EQ(ql_search("fox", &hit, 0), 0u);
}

TEST(Search, HitsLeadToTheirContext) {
  std::string text = english_text(3000) + " needle in the haystack " + english_text(50);
  OpenedBook b(simple_book({"<p>" + text + "</p>"}));
  ASSERT_EQ(b.ok, 1);
  auto hits = search("needle in");
  ASSERT_EQ(hits.size(), 1u);
  std::string context;
  for (uint64_t w = hits[0] - 2; w < hits[0] + 4; w++) context += std::string(ql_words()[w].text) + " ";
  EXPECT_EQ(context, "for now needle in the haystack ");
}

}  // namespace
