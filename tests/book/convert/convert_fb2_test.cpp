#include <gtest/gtest.h>

#include "base/ql_error.h"
#include "book/convert/convert.h"
#include "book/convert/convert_model.h"
#include "book/pdf_adapter.h"
#include "convert_fixture.h"

namespace {

std::string fb2(const std::string& body, const std::string& encoding = "utf-8", const std::string& extra = "") {
  return "<?xml version=\"1.0\" encoding=\"" + encoding +
         "\"?>\n<FictionBook xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\" "
         "xmlns:l=\"http://www.w3.org/1999/xlink\"><description><title-info><author><first-name>Leo</first-name>"
         "<last-name>Tolstoy</last-name></author><book-title>War &amp; Peace</book-title><lang>ru</lang>"
         "<coverpage><image l:href=\"#cover.png\"/></coverpage></title-info></description><body>" +
         body + "</body>" + extra + "</FictionBook>";
}

const std::string kPngBase64 =
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAAAAAA6fptVAAAACklEQVR4nGNgAAAAAgABc3UBGAAAAABJRU5ErkJggg==";

ConvBook read_fb2(const std::string& bytes, std::string* error = nullptr) {
  ConvBook book;
  std::optional<std::string> failure = fb2_read(bytes, "/mnt/us/documents/novel.fb2", book);
  if (error) *error = failure.value_or("");
  return book;
}

TEST(ConvertFb2, MetadataPicturesAndCover) {
  ConvBook b =
      read_fb2(fb2("<section><title><p>One</p></title><p>Text <emphasis>here</emphasis>.</p>"
                   "<image l:href=\"#pic\"/></section>",
                   "utf-8",
                   "<binary id=\"cover.png\" content-type=\"image/png\">" + kPngBase64 +
                       "</binary><binary id=\"pic\">" + kPngBase64 + "</binary><binary id=\"bad\">AAAA</binary>"));
  EXPECT_EQ(b.title, "War & Peace");
  EXPECT_EQ(b.author, "Leo Tolstoy");
  EXPECT_EQ(b.language, "ru");
  ASSERT_EQ(b.pictures.size(), 2u);
  EXPECT_EQ(b.pictures[0].name, "img00001.png");
  EXPECT_EQ(b.cover, 0);
  ASSERT_EQ(b.chapters.size(), 1u);
  EXPECT_EQ(b.chapters[0].title, "One");
  EXPECT_EQ(b.chapters[0].body,
            "<h2>One <br/></h2>\n<p>Text <em>here</em>.</p>\n<p><img src=\"img00002.png\" alt=\"\"/></p>\n");
}

TEST(ConvertFb2, EncodingsSectionsAndDroppedMarkup) {
  const std::string para(220, 'w');
  const struct {
    const char* name;
    std::string bytes;
    size_t chapters;
    std::string contains;
  } cases[] = {
      {"windows-1251", fb2("<p>\xCF\xF0\xE8\xE2\xE5\xF2</p>", "windows-1251"), 1,
       "<p>\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82</p>"},
      {"undeclared invalid UTF-8 is 1252", "<FictionBook><body><p>caf\xE9</p></body></FictionBook>", 1,
       "<p>caf\xC3\xA9</p>"},
      {"nested sections",
       fb2("<section><p>" + para + "</p><section><section><p>" + para +
           "</p></section></section></section><section><p>b</p></section><section><p>c</p></section>"),
       2, ""},
      {"comments and instructions dropped", fb2("<p>a<!-- <p>hidden</p> -->b<?page 4?>c</p>"), 1, "<p>abc</p>"},
      {"CDATA escaped", fb2("<p><![CDATA[x < y]]></p>"), 1, "<p>x &lt; y</p>"},
      {"stray less-than", fb2("<p>1 < 2</p>"), 1, "<p>1 &lt; 2</p>"},
      {"a body starting a chapter inside a title", "<FictionBook><body><title><body></title><p>x</p>", 2,
       "<p>x</p>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ConvBook b = read_fb2(c.bytes);
    EXPECT_EQ(b.chapters.size(), c.chapters);
    std::string all;
    for (const ConvChapter& ch : b.chapters) all += ch.body;
    EXPECT_NE(all.find(c.contains), std::string::npos) << all;
    EXPECT_EQ(all.find("hidden"), std::string::npos);
  }
}

TEST(ConvertFb2, RefusalsAndEveryPrefix) {
  std::string error;
  read_fb2("<html><body>x</body></html>", &error);
  EXPECT_EQ(error, "This is not an FB2 book");
  read_fb2("<FictionBook><description/></FictionBook>", &error);
  EXPECT_EQ(error, "This FB2 book has no text");
  const std::string whole = fixture("book.fb2");
  for (size_t n = 0; n <= whole.size(); n += 7) {
    ConvBook b = read_fb2(whole.substr(0, n), &error);
    EXPECT_TRUE(!error.empty() || !b.chapters.empty()) << n;
  }
}

TEST(ConvertFb2, ConvertsOpensAndProbes) {
  ConvertRoot root;
  const std::string path = root.put("war.fb2", fb2("<section><p>Well, Prince.</p></section>", "utf-8",
                                                   "<binary id=\"cover.png\">" + kPngBase64 + "</binary>"));
  ASSERT_EQ(ql_open(path.c_str()), 1) << ql_error();
  EXPECT_EQ(text_words(), (std::vector<std::string>{"Well,", "Prince."}));
  EXPECT_STREQ(ql_title(), "War & Peace");
  char title[512], author[256];
  EXPECT_EQ(ql_convert_meta(path.c_str(), title, sizeof title, author, sizeof author), 1);
  EXPECT_STREQ(title, "War & Peace");
  EXPECT_STREQ(author, "Leo Tolstoy");
  std::vector<uint8_t> pixels(300 * 420);
  EXPECT_EQ(qlpdf_cover(path.c_str(), pixels.data(), 300, 420), 1);
  EXPECT_EQ(ql_convert_meta(root.put("plain.txt", "x").c_str(), title, sizeof title, author, sizeof author), 0);
  EXPECT_STREQ(title, "");
}

}  // namespace
