#include <gtest/gtest.h>

#include "base/ql_error.h"
#include "book/book_model.h"
#include "book/epub.h"
#include "book_fixture.h"
#include "convert/convert_fixture.h"

namespace {

const BookWord& word(uint64_t i) { return ql_words()[i]; }

TEST(EpubOpen, Epub2BookOpensWithItsMetadataAndSpine) {
  EpubPlan plan = simple_book({"<h1>One</h1><p>First chapter text.</p>", "<p>Second <b>bold</b> text.</p>",
                               "<p>Third.</p>"});
  plan.opf_override.clear();
  plan.title = "The &amp; Title";
  plan.author = "Jane Doe";
  plan.language = "\n      en-GB\n    ";
  plan.extra_metadata = "<dc:title>Second title</dc:title><dc:creator>Second author</dc:creator>";
  OpenedBook b(plan);
  ASSERT_EQ(b.ok, 1) << ql_error();
  EXPECT_STREQ(ql_error(), "");
  EXPECT_STREQ(ql_title(), "The & Title");
  EXPECT_STREQ(ql_author(), "Jane Doe");
  EXPECT_STREQ(ql_language(), "en-GB");
  EXPECT_EQ(ql_is_pdf(), 0u);
  const BookModel& m = ql_book();
  ASSERT_EQ(m.spine.size(), 3u);
  EXPECT_EQ(m.spine[0].path, "OEBPS/text/ch1.xhtml");
  EXPECT_EQ(m.spine[1].first_word, 4u);
  EXPECT_EQ(m.spine[2].first_word, 7u);
  EXPECT_EQ(word_texts(), (std::vector<std::string>{"One", "First", "chapter", "text.", "Second", "bold", "text.",
                                                    "Third."}));
  EXPECT_EQ(m.g_zip_kept, 1u);
  EXPECT_TRUE(m.g_zip.is_open());
}

TEST(EpubOpen, WordStylesBreaksAndGlue) {
  OpenedBook b(simple_book({"a<i>b</i> c<p>d<em>e <strong>f</strong></em>g</p>"
                            "<h2>Head <b>line</b></h2><div><b>x<b>y</b>z</b></div>"
                            "<p>x<sup>2</sup> one&nbsp;two three\xC2\xA0" "four &mdash;dash</p>"
                            "<script>var hidden = 1;</script><style>p{}</style><p>after<br/>line</p>"}));
  ASSERT_EQ(b.ok, 1) << ql_error();
  struct Want {
    const char* text;
    int style, brk, join, sup;
  } want[] = {
      {"a", 0, 2, 0, 0},     {"b", 1, 0, 1, 0},      {"c", 0, 0, 0, 0},     {"d", 0, 1, 0, 0},
      {"e", 1, 0, 1, 0},     {"f", 2, 0, 0, 0},      {"g", 0, 0, 1, 0},     {"Head", 3, 1, 0, 0},
      {"line", 3, 0, 0, 0},  {"x", 2, 1, 0, 0},      {"y", 2, 0, 1, 0},     {"z", 2, 0, 1, 0},
      {"x", 0, 1, 0, 0},     {"2", 0, 0, 1, 1},      {"one", 0, 0, 0, 0},   {"two", 0, 0, 0, 0},
      {"three", 0, 0, 0, 0}, {"four", 0, 0, 0, 0},   {"\xE2\x80\x94" "dash", 0, 0, 0, 0},
      {"after", 0, 1, 0, 0}, {"line", 0, BRK_LINE, 0, 0},
  };
  ASSERT_EQ(ql_word_count(), std::size(want));
  for (size_t i = 0; i < std::size(want); i++) {
    SCOPED_TRACE(i);
    EXPECT_STREQ(word(i).text, want[i].text);
    EXPECT_EQ(word(i).style, want[i].style);
    EXPECT_EQ(word(i).brk, want[i].brk);
    EXPECT_EQ(word(i).join, want[i].join);
    EXPECT_EQ(word(i).sup, want[i].sup);
  }
}

TEST(EpubOpen, ListNumbersGoToTheFirstWordOfEachItem) {
  std::string nine;
  for (int i = 0; i < 9; i++) nine += "<ol><li>d" + std::to_string(i + 1);
  for (int i = 0; i < 9; i++) nine += "</li></ol>";
  OpenedBook b(simple_book({"<ol><li>one two</li><li>three<ul><li>dot</li></ul></li><li>four</li></ol>"
                            "<ul><li>plain</li></ul>" + nine + "<ol><li>again</li></ol>"}));
  ASSERT_EQ(b.ok, 1) << ql_error();
  std::vector<std::pair<std::string, uint32_t>> got;
  for (uint64_t i = 0; i < ql_word_count(); i++) got.emplace_back(word(i).text, word(i).num);
  std::vector<std::pair<std::string, uint32_t>> want = {
      {"one", 1}, {"two", 0}, {"three", 2}, {"dot", 0}, {"four", 3}, {"plain", 0},
      {"d1", 1},  {"d2", 1},  {"d3", 1},    {"d4", 1},  {"d5", 1},   {"d6", 1},
      {"d7", 1},  {"d8", 1},  {"d9", 2},    {"again", 1}};
  EXPECT_EQ(got, want);
}

TEST(EpubOpen, LinksAnchorsAndTheirTargets) {
  std::string long_id(250, 'L');
  EpubPlan plan = simple_book(
      {"<p id=\"top\">Start <a href=\"ch2.xhtml#sec\">to two</a> <a href=\"http://example.org/\">web</a> "
       "<a href=\"MAILTO:x@y\">mail</a> <a href=\"#nowhere\">self</a> <a href=\"\">empty</a> "
       "<a href=\"missing.xhtml\">lost</a> <a href=\"ch2.xhtml\"/><sup/>plain</p>",
       "<p>Two</p><p id=\"sec\">Section</p><span id=\"" + long_id + "\">x</span>"});
  OpenedBook b(plan);
  ASSERT_EQ(b.ok, 1) << ql_error();
  const BookModel& m = ql_book();
  ASSERT_EQ(m.links.size(), 3u);
  EXPECT_EQ(m.links[0].href, "ch2.xhtml#sec");
  EXPECT_EQ(m.links[0].spine, 0u);
  auto texts = word_texts();
  auto link_of = [&](const std::string& t) { return word(std::find(texts.begin(), texts.end(), t) - texts.begin()).link; };
  EXPECT_EQ(link_of("to"), 1u);
  EXPECT_EQ(link_of("two"), 1u);
  EXPECT_EQ(link_of("web"), 0u);
  EXPECT_EQ(link_of("mail"), 0u);
  EXPECT_EQ(link_of("self"), 2u);
  EXPECT_EQ(link_of("empty"), 0u);
  EXPECT_EQ(link_of("lost"), 3u);
  EXPECT_EQ(link_of("plain"), 0u);  // empty elements enclose nothing
  EXPECT_EQ(word(std::find(texts.begin(), texts.end(), "plain") - texts.begin()).sup, 0u);
  int64_t section = std::find(texts.begin(), texts.end(), "Section") - texts.begin();
  EXPECT_EQ(ql_link_token(1), section);
  EXPECT_EQ(ql_link_token(2), 0);  // unmatched fragment: the linking document's first word
  EXPECT_EQ(ql_link_token(3), -1);
  EXPECT_EQ(ql_link_token(0), -1);
  EXPECT_EQ(ql_link_token(4), -1);
  ASSERT_EQ(m.anchors.size(), 3u);
  EXPECT_EQ(m.anchors[0].id, "top");
  EXPECT_EQ(m.anchors[2].id, long_id.substr(0, 199));
  EXPECT_EQ(m.anchors[2].spine, 1u);
}

TEST(EpubOpen, PicturesBecomePictureWords) {
  EpubPlan plan = simple_book({"<p>Before<img src=\"../images/p%201.png\" alt=\"x\"/>after</p>"
                               "<svg><image xlink:href=\"../images/cover.jpg\"/></svg>"
                               "<img src=\"data:image/png;base64,AAAA\"/><img/><p>end</p>"});
  plan.items.push_back({"p", "images/p 1.png", "image/png", "\x89PNG", "", false});
  OpenedBook b(plan);
  ASSERT_EQ(b.ok, 1) << ql_error();
  auto texts = word_texts();
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(texts[1], "\x01OEBPS/images/p 1.png");
  EXPECT_EQ(word(1).style, STYLE_PICTURE);
  EXPECT_EQ(word(1).brk, BRK_BLOCK);
  EXPECT_EQ(texts[2], "after");
  EXPECT_EQ(word(2).brk, BRK_BLOCK);
  EXPECT_EQ(texts[3], "\x01OEBPS/images/cover.jpg");
  EXPECT_EQ(texts[4], "end");
}

TEST(EpubOpen, MemberNamesInFoldersEscapedAndNonAscii) {
  EpubPlan plan;
  plan.opf_path = "deep/er/package.opf";
  plan.items.push_back({"a", "Text/My%20Chapter.xhtml", "application/xhtml+xml", ""});
  plan.items.push_back({"b", "T%C3%ABxt/%E7%AB%A0.xhtml", "text/html", ""});
  plan.extra_members.push_back({"deep/er/Text/My Chapter.xhtml", xhtml("<p>spaced name</p>")});
  plan.extra_members.push_back({"deep/er/Tëxt/章.xhtml", xhtml("<p>unicode name</p>"), zipw::kStored});
  plan.mimetype = "  application/epub+zip\n";
  OpenedBook b(plan);
  ASSERT_EQ(b.ok, 1) << ql_error();
  EXPECT_EQ(word_texts(), (std::vector<std::string>{"spaced", "name", "unicode", "name"}));
  EXPECT_EQ(ql_book().spine[1].path, "deep/er/Tëxt/章.xhtml");
}

TEST(EpubOpen, UnreadableSpineDocumentsAreSkipped) {
  EpubPlan plan = simple_book({"<p>one <a href=\"ch3.xhtml\">jump</a></p>", "", "<p>three</p>"});
  plan.items[1].content.clear();                    // named in the spine, missing from the archive
  plan.items.push_back({"pic", "p.png", "image/png", "\x89PNG"});  // an image in the spine
  plan.extra_spine = {"no-such-item"};
  plan.items.push_back({"nl", "text/notes.xhtml", "application/xhtml+xml", xhtml("<p>aside</p>"), "", true, "no"});
  OpenedBook b(plan);
  ASSERT_EQ(b.ok, 1) << ql_error();
  EXPECT_STREQ(ql_error(), "");
  const BookModel& m = ql_book();
  ASSERT_EQ(m.spine.size(), 2u);
  EXPECT_EQ(m.spine[1].path, "OEBPS/text/ch3.xhtml");
  EXPECT_EQ(m.spine[1].first_word, 2u);
  EXPECT_EQ(word_texts(), (std::vector<std::string>{"one", "jump", "three"}));
  EXPECT_EQ(ql_link_token(1), 2);
}

TEST(EpubOpen, ADocumentListedUnderSeveralItemsIsReadOnce) {
  EpubPlan plan = simple_book({"<p id=\"o1\">one</p><p id=\"o2\">two</p>", "<p>three</p>"});
  plan.items.insert(plan.items.begin() + 1, {"c1-o2", "text/ch1.xhtml#o2"});
  plan.items.push_back({"c1-again", "text/ch1.xhtml"});
  OpenedBook b(plan);
  ASSERT_EQ(b.ok, 1) << ql_error();
  ASSERT_EQ(ql_book().spine.size(), 2u);
  EXPECT_EQ(word_texts(), (std::vector<std::string>{"one", "two", "three"}));
}

TEST(EpubOpen, BrokenBooksFailWithTheirMessage) {
  auto only = [](EpubItem item) {
    EpubPlan s;
    s.items = {std::move(item)};
    return s;
  };
  EpubPlan no_container = simple_book({"<p>x</p>"});
  no_container.with_container = false;
  EpubPlan no_rootfile = simple_book({"<p>x</p>"});
  no_rootfile.with_container = false;
  no_rootfile.extra_members.push_back({"META-INF/container.xml", "<container><rootfiles/></container>"});
  EpubPlan no_opf = simple_book({"<p>x</p>"});
  no_opf.write_opf = false;
  EpubPlan no_text = simple_book({"<p> </p>", "<p><img src=\"\"/><img alt=\"x\"/></p>"});
  EpubPlan no_body = simple_book({"<p>x</p>"});
  no_body.items[0].content = "<html><p>outside any body</p></html>";
  EpubPlan no_spine = simple_book({});
  struct Case {
    const char* name;
    EpubPlan plan;
    const char* error;
  } cases[] = {
      {"missing container", no_container, "No EPUB container.xml"},
      {"container without rootfile", no_rootfile, "No OPF rootfile"},
      {"missing package", no_opf, "Missing OPF"},
      {"image as the only spine item", only({"p", "p.png", "image/png", "\x89PNG"}), "Unresolved or unsupported spine item"},
      {"only spine document missing", only({"c", "c.xhtml", "application/xhtml+xml", ""}), "Missing or unsupported spine item"},
      {"no words", no_text, "No readable XHTML text (DRM, malformed or unsupported EPUB)"},
      {"no body", no_body, "No readable XHTML text (DRM, malformed or unsupported EPUB)"},
      {"empty spine", no_spine, "No readable XHTML text (DRM, malformed or unsupported EPUB)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenedBook b(c.plan);
    EXPECT_EQ(b.ok, 0);
    EXPECT_STREQ(ql_error(), c.error);
  }
  OpenedBook garbage(std::string(4000, 'z'), "garbage.epub");
  EXPECT_EQ(garbage.ok, 0);
  EXPECT_STREQ(ql_error(), "Unsupported ZIP directory / ZIP64");
}

TEST(EpubOpen, DocumentWithoutBodyKeepsItsSpineEntry) {
  EpubPlan plan = simple_book({"<p>x</p>", "<p>y</p>"});
  plan.items[0].content = "<html><head><title>no body here</title></head></html>";
  OpenedBook b(plan);
  ASSERT_EQ(b.ok, 1);
  ASSERT_EQ(ql_book().spine.size(), 2u);
  EXPECT_EQ(ql_book().spine[1].first_word, 0u);
  EXPECT_EQ(word(0).brk, BRK_DOCUMENT);
}

TEST(EpubOpen, FailedOpenLeavesThePreviousBookCurrent) {
  EpubPlan good = simple_book({"<p>kept words <a href=\"#a\">here</a></p><p id=\"a\">x</p>"});
  good.title = "Kept";
  OpenedBook first(good);
  ASSERT_EQ(first.ok, 1);
  const BookWord* words = ql_words();
  EpubPlan broken = simple_book({"<p>new</p>"});
  broken.write_opf = false;
  OpenedBook second(broken);
  EXPECT_EQ(second.ok, 0);
  EXPECT_STREQ(ql_error(), "Missing OPF");
  EXPECT_STREQ(ql_title(), "Kept");
  EXPECT_EQ(ql_words(), words);
  EXPECT_EQ(word_texts(), (std::vector<std::string>{"kept", "words", "here", "x"}));
  EXPECT_EQ(ql_link_token(1), 3);
  EXPECT_TRUE(ql_book().g_zip.is_open());
  EXPECT_EQ(zipextract(ql_book().g_zip, "mimetype"), "application/epub+zip");

  EpubPlan other = simple_book({"<p>replaced</p>"});
  other.title = "";
  OpenedBook third(other, "Other Book.epub");
  ASSERT_EQ(third.ok, 1);
  EXPECT_STREQ(ql_title(), "Other Book.epub");
  EXPECT_EQ(word_texts(), (std::vector<std::string>{"replaced"}));
}

// Files that are not books of theirs: an EPUB's bytes under another kind's name, a file of a kind
// that is no book, and a damaged file of a kind that is.
TEST(EpubOpen, OtherKindsGetTheirReadersMessage) {
  const std::string epub = build_epub(simple_book({"<p>x</p>"}));
  ConvertRoot root;
  const char* kNoKind = "This kind of file does not open in this version of Corvell Nalo";
  const char* kNoPages = "This comic has no readable pages";
  const char* kDamaged = "This book file is damaged";
  const struct {
    const char* name;
    const char* message;
    std::string bytes = {};  // the EPUB when empty
  } cases[] = {
      {"a.pdf", kDamaged},
      {"b.MOBI", "This is not a Kindle book file"},
      {"c.azw3", "This is not a Kindle book file"},
      {"d.cbz", kNoPages},
      {"f.fb2", "This is not an FB2 book"},
      {"g.xps", kNoKind},
      {"song.mp3", kNoKind, std::string("ID3\x04\0\0\0\0\0\0\xFF\xFB\x90\x64", 14)},
      {"clip.mp4", kNoKind, std::string("\0\0\0\x18" "ftypmp42\0\0\0\0mp42isom", 24)},
      {"words.idx", kNoKind, std::string("apple\0\0\0\0\0\0\0\0\x10", 14)},
      {"feed.xml", kNoKind, "<?xml version=\"1.0\"?><feed xmlns=\"http://www.w3.org/2005/Atom\"/>"},
      {"cut.pdf", kDamaged, std::string(4000, '\0')},
      {"cut.cbz", kDamaged, std::string(4000, 'z')},
      {"empty.cbz", kNoPages, std::string("PK\x05\x06", 4) + std::string(18, '\0')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = root.put(c.name, c.bytes.empty() ? epub : c.bytes);
    EXPECT_EQ(ql_open(path.c_str()), 0);
    EXPECT_STREQ(ql_error(), c.message);
    EXPECT_EQ(ql_word_count(), 0u);
  }
}

TEST(EpubOpen, WordLimit) {
  std::string half;
  for (int i = 0; i < 1000000; i++) half += "w ";
  EpubPlan plan = simple_book({half, half + "last"});
  OpenedBook b(plan);
  EXPECT_EQ(b.ok, 0);
  EXPECT_STREQ(ql_error(), "Book exceeds 2M words");
  EpubPlan exact = simple_book({half, half});
  OpenedBook c(exact);
  EXPECT_EQ(c.ok, 1);
  EXPECT_EQ(ql_word_count(), 2000000u);
}

TEST(EpubOpen, LanguageIsReguessedFromTheWords) {
  std::string finnish;
  for (int i = 0; i < 60; i++) finnish += "hän oli kotona ja että päivä tämä ";
  struct Case {
    const char* name;
    std::string text;
    const char* declared;
    const char* expected;
  } cases[] = {
      {"short book keeps its label", english_text(150), "fi", "fi"},
      {"English declared Finnish", english_text(400), "fi", "en"},
      {"Finnish declared English", finnish, "en", "fi"},
      {"undecided English label cleared", "", "en", ""},
      {"undecided other label kept", "", "de", "de"},
  };
  std::string undecided;
  for (int i = 0; i < 400; i++) undecided += "lorem ipsum ";
  cases[3].text = undecided;
  cases[4].text = undecided;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EpubPlan plan = simple_book({"<p>" + c.text + "</p>"});
    plan.language = c.declared;
    OpenedBook b(plan);
    ASSERT_EQ(b.ok, 1);
    EXPECT_STREQ(ql_language(), c.expected);
  }
}

TEST(EpubOpen, DamagedArchivesNeverCrash) {
  EpubPlan plan = simple_book({"<h1>T</h1><p>Some <i>text</i> &amp; <a href=\"ch2.xhtml#x\">a link</a></p>",
                               "<p id=\"x\">More <img src=\"p.png\"/></p>"});
  plan.items.push_back({"nav", "nav.xhtml", "application/xhtml+xml",
                        xhtml("<nav epub:type=\"toc\"><ol><li><a href=\"text/ch1.xhtml\">One</a></li></ol></nav>"),
                        "nav", false});
  std::string bytes = build_epub(plan);
  TempDir dir;
  std::string path = dir / "d.epub";
  int opened = 0;
  auto attempt = [&](const std::string& b) {
    write_file(path, b);
    if (ql_open(path.c_str())) {
      opened++;
      ASSERT_GT(ql_word_count(), 0u);
    } else {
      ASSERT_STRNE(ql_error(), "");
    }
  };
  for (size_t n = 0; n < bytes.size(); n++) attempt(bytes.substr(0, n));
  EXPECT_EQ(opened, 0);  // without the end record nothing opens
  for (size_t i = 0; i < bytes.size(); i++) {
    std::string b = bytes;
    b[i] = static_cast<char>(~b[i]);
    attempt(b);
  }
  EXPECT_GT(opened, 0);
}

}  // namespace
