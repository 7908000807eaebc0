// EPUB documents that are not plain UTF-8: every document the book reads (spine, package,
// navigation) comes out as UTF-8.
#include <gtest/gtest.h>

#include "base/ql_error.h"
#include "book/toc.h"
#include "book_fixture.h"
#include "support/text_encoding.h"

namespace {

const std::string kCafe = "caf\xC3\xA9";
const std::string kPrivet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
const std::string kGlava = "\xD0\x93\xD0\xBB\xD0\xB0\xD0\xB2\xD0\xB0";  // "Chapter" in Russian

// A single-document XHTML file with its own XML declaration and head.
std::string document(const std::string& declaration, const std::string& head, const std::string& body) {
  return declaration + "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head>" + head +
         "<title>t</title></head><body>" + body + "</body></html>";
}

std::string utf16_document(bool big_endian, bool mark) {
  return utf16_of(document("<?xml version=\"1.0\" encoding=\"UTF-16\"?>", "",
                           "<p>" + kCafe + " " + kPrivet + " \xF0\x9F\x93\x96</p>"),
                  big_endian, mark);
}

EpubPlan one_document(const std::string& bytes) {
  EpubPlan plan;
  plan.items.push_back({"c1", "text/ch1.xhtml", "application/xhtml+xml", bytes});
  return plan;
}

TEST(EpubEncoding, SpineDocumentsInTheirDeclaredEncoding) {
  const std::string utf16_words[] = {kCafe, kPrivet, "\xF0\x9F\x93\x96"};
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"UTF-16LE with mark", utf16_document(false, true), {std::begin(utf16_words), std::end(utf16_words)}},
      {"UTF-16BE with mark", utf16_document(true, true), {std::begin(utf16_words), std::end(utf16_words)}},
      {"UTF-16LE without mark", utf16_document(false, false), {std::begin(utf16_words), std::end(utf16_words)}},
      {"UTF-16BE without mark", utf16_document(true, false), {std::begin(utf16_words), std::end(utf16_words)}},
      {"UTF-8 with mark", "\xEF\xBB\xBF" + document("<?xml version=\"1.0\"?>", "", "<p>" + kCafe + " " + kPrivet + "</p>"),
       {kCafe, kPrivet}},
      {"Latin-1 declared",
       document("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>", "", "<p>caf\xE9 na\xEFve&nbsp;\xA0x</p>"),
       {kCafe, "na\xC3\xAFve", "x"}},
      {"Windows-1252 declared",
       document("<?xml version='1.0' encoding='windows-1252'?>", "", "<p>\x93" "caf\xE9\x94 \x80" "5</p>"),
       {"\xE2\x80\x9C" + kCafe + "\xE2\x80\x9D", "\xE2\x82\xAC" "5"}},
      {"Windows-1251 declared",
       document("<?xml version=\"1.0\" encoding=\"windows-1251\"?>", "", "<h1>\xC3\xEB\xE0\xE2\xE0</h1><p>\xCF\xF0\xE8\xE2\xE5\xF2</p>"),
       {kGlava, kPrivet}},
      {"meta charset",
       document("", "<meta charset=\"ISO-8859-1\"/>", "<p>caf\xE9</p>"), {kCafe}},
      {"http-equiv content type",
       document("<?xml version=\"1.0\"?>", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\"/>",
                "<p>\xCF\xF0\xE8\xE2\xE5\xF2</p>"),
       {kPrivet}},
      {"undeclared bytes stay as they are", document("", "", "<p>caf\xE9</p>"), {"caf\xE9"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenedBook b(one_document(c.bytes));
    ASSERT_EQ(b.ok, 1) << ql_error();
    EXPECT_EQ(word_texts(), c.words);
  }
}

TEST(EpubEncoding, PackageMetadataInLatin1AndUtf16) {
  EpubPlan plan = simple_book({"<p>x</p>"});
  plan.title = "Caf\xE9 \xE0 Paris";
  plan.author = "Ren\xE9" "e D\xFCrer";
  std::string latin1 = opf_text(plan);
  const std::string utf8_decl = "encoding=\"UTF-8\"";
  ASSERT_NE(latin1.find(utf8_decl), std::string::npos);
  latin1.replace(latin1.find(utf8_decl), utf8_decl.size(), "encoding=\"ISO-8859-1\"");

  plan.title = "Caf\xC3\xA9 \xC3\xA0 Paris";
  plan.author = kPrivet;
  std::string utf16 = utf16_of(opf_text(plan), true, true);

  struct Case {
    const char* name;
    std::string opf;
    const char* title;
    std::string author;
  };
  const Case cases[] = {
      {"Latin-1", latin1, "Caf\xC3\xA9 \xC3\xA0 Paris", "Ren\xC3\xA9" "e D\xC3\xBCrer"},
      {"UTF-16BE", utf16, "Caf\xC3\xA9 \xC3\xA0 Paris", kPrivet},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    plan.opf_override = c.opf;
    OpenedBook b(plan);
    ASSERT_EQ(b.ok, 1) << ql_error();
    EXPECT_STREQ(ql_title(), c.title);
    EXPECT_EQ(ql_author(), c.author);
    EXPECT_EQ(word_texts(), std::vector<std::string>{"x"});
  }
}

TEST(EpubEncoding, ContentsFromUtf16NcxAndNav) {
  const std::string ncx =
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?><ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" "
      "version=\"2005-1\"><navMap>"
      "<navPoint><navLabel><text>" + kCafe + "</text></navLabel><content src=\"text/ch1.xhtml\"/></navPoint>"
      "<navPoint><navLabel><text>" + kGlava + " 2</text></navLabel><content src=\"text/ch2.xhtml\"/></navPoint>"
      "</navMap></ncx>";
  const std::string nav = document(
      "<?xml version=\"1.0\" encoding=\"windows-1251\"?>", "",
      "<nav epub:type=\"toc\"><ol><li><a href=\"text/ch2.xhtml\">\xC3\xEB\xE0\xE2\xE0</a></li></ol></nav>");
  struct Case {
    const char* name;
    EpubItem item;
    std::vector<std::string> titles;
  };
  const Case cases[] = {
      {"UTF-16LE NCX", {"ncx", "toc.ncx", "application/x-dtbncx+xml", utf16_of(ncx, false, true), "", false},
       {kCafe, kGlava + " 2"}},
      {"UTF-16BE NCX without mark", {"ncx", "toc.ncx", "application/x-dtbncx+xml", utf16_of(ncx, true, false), "", false},
       {kCafe, kGlava + " 2"}},
      {"Windows-1251 nav", {"nav", "nav.xhtml", "application/xhtml+xml", nav, "nav", false}, {kGlava}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EpubPlan plan = simple_book({"<p>one</p>", "<p>two</p>"});
    plan.items.push_back(c.item);
    OpenedBook b(plan);
    ASSERT_EQ(b.ok, 1) << ql_error();
    ASSERT_EQ(ql_toc_from_nav(), c.titles.size());
    for (size_t i = 0; i < c.titles.size(); i++) EXPECT_EQ(ql_toc()[i].title, c.titles[i]);
  }
}

TEST(EpubEncoding, DamagedUtf16DocumentsNeverCrash) {
  TempDir dir;
  const std::string path = dir / "u.epub";
  for (bool mark : {true, false}) {
    SCOPED_TRACE(mark ? "with mark" : "without mark");
    const std::string doc = utf16_document(false, mark);
    auto attempt = [&](const std::string& bytes) {
      EpubPlan plan = one_document(bytes);
      plan.items.push_back({"ncx", "toc.ncx", "application/x-dtbncx+xml", bytes, "", false});
      plan.method = zipw::kStored;
      write_file(path, build_epub(plan));
      if (ql_open(path.c_str())) {
        ql_toc_from_nav();
      } else {
        ASSERT_STRNE(ql_error(), "");
      }
    };
    for (size_t n = 1; n <= doc.size(); n++) attempt(doc.substr(0, n));
    for (size_t i = 0; i < doc.size(); i++) {
      std::string flipped = doc;
      flipped[i] = static_cast<char>(~flipped[i]);
      attempt(flipped);
    }
  }
}

}  // namespace
