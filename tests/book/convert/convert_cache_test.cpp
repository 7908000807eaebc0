#include <gtest/gtest.h>

#include <expat.h>
#include <sys/time.h>

#include <memory>

#include "base/ql_error.h"
#include "book/convert/convert.h"
#include "book/convert/convert_model.h"
#include "book/epub.h"
#include "book/zip_reader.h"
#include "convert_fixture.h"

namespace {

void set_mtime(const std::string& host_path, time_t t) {
  struct timeval tv[2] = {{t, 0}, {t, 0}};
  utimes(host_path.c_str(), tv);
}

TEST(ConvertCache, KeyFollowsPathSizeAndTime) {
  // Worked by hand for the empty path: start, then size 0 and time 0 each xored in and multiplied.
  const uint64_t empty = (0x14650FB0739D0383ull * 0x100000001b3ull) * 0x100000001b3ull;
  EXPECT_EQ(ConvertedBookKey("", 0, 0), empty);
  EXPECT_NE(ConvertedBookKey("/a.txt", 10, 5), ConvertedBookKey("/a.txt", 10, 6));
  EXPECT_NE(ConvertedBookKey("/a.txt", 10, 5), ConvertedBookKey("/a.txt", 11, 5));
  EXPECT_NE(ConvertedBookKey("/a.txt", 10, 5), ConvertedBookKey("/b.txt", 10, 5));
}

TEST(ConvertCache, UnchangedBookIsConvertedOnceAndATouchedOneAgain) {
  ConvertRoot root;
  const std::string path = root.put("story.txt", "Once upon a time.\n");
  set_mtime(root.host(path), 1000000);
  Converted first = convert(path);
  ASSERT_EQ(first.result, 1) << first.error;
  char name[64];
  const auto key = static_cast<unsigned long long>(ConvertedBookKey(path, 18, 1000000));
  snprintf(name, sizeof name, "/mnt/us/ql/state/conv/%016llx-5.epub", key);
  EXPECT_EQ(first.path, name);
  // A marker in the converted file survives the second call: nothing was converted again.
  const std::string marker(200, 'm');
  write_file(root.host(first.path), marker);
  EXPECT_EQ(convert(path).path, first.path);
  EXPECT_EQ(read_file(root.host(first.path)), marker);

  set_mtime(root.host(path), 2000000);
  Converted touched = convert(path);
  ASSERT_EQ(touched.result, 1);
  EXPECT_NE(touched.path, first.path);
  EXPECT_NE(read_file(root.host(touched.path)), marker);
}

TEST(ConvertCache, SmallFilesAreRebuiltAndLeftoversRemoved) {
  ConvertRoot root;
  const std::string path = root.put("story.txt", "Words of a story.\n");
  Converted first = convert(path);
  ASSERT_EQ(first.result, 1);
  write_file(root.host(first.path), std::string(100, 'x'));
  write_file(root.conv_folder() + "/0123456789abcdef-3.epub", "old scheme");
  write_file(root.conv_folder() + "/0123456789abcdef-4.epub", "the scheme whose long chapters broke");
  write_file(root.conv_folder() + "/0123456789abcdef-5.epub.part", "half written");
  write_file(root.conv_folder() + "/short", "x");
  write_file(root.conv_folder() + "/.hidden", "kept");
  Converted again = convert(path);
  ASSERT_EQ(again.result, 1);
  EXPECT_GT(read_file(root.host(again.path)).size(), 100u);
  EXPECT_FALSE(file_exists(root.conv_folder() + "/0123456789abcdef-3.epub"));
  EXPECT_FALSE(file_exists(root.conv_folder() + "/0123456789abcdef-4.epub"));
  EXPECT_FALSE(file_exists(root.conv_folder() + "/0123456789abcdef-5.epub.part"));
  EXPECT_FALSE(file_exists(root.conv_folder() + "/short"));
  EXPECT_TRUE(file_exists(root.conv_folder() + "/.hidden"));
}

TEST(ConvertCache, DamagedConvertedBookIsMadeAgainWhenOpened) {
  ConvertRoot root;
  const std::string path = root.put("story.txt", "The first words.\n");
  Converted first = convert(path);
  ASSERT_EQ(first.result, 1);
  write_file(root.host(first.path), std::string(500, 'z'));
  ASSERT_EQ(ql_open(path.c_str()), 1) << ql_error();
  EXPECT_EQ(text_words(), (std::vector<std::string>{"The", "first", "words."}));
  EXPECT_NE(read_file(root.host(first.path)), std::string(500, 'z'));
}

TEST(ConvertCache, FailuresLeaveNoPartFileAndSayWhy) {
  ConvertRoot root;
  EXPECT_EQ(convert("/mnt/us/documents/missing.txt").error, "The file is not there");
  EXPECT_EQ(convert(root.put("empty.txt", "")).error, "This text file could not be read");
  EXPECT_EQ(convert(root.put("x.fb2", "")).error, "This FB2 file could not be read");
  EXPECT_EQ(convert(root.put("x.prc", "")).error, "This book could not be read");
  char out[8] = "keep";
  EXPECT_EQ(ql_convert("/mnt/us/documents/book.epub", out, sizeof out), 0);
  EXPECT_STREQ(out, "keep");
  EXPECT_EQ(entries_in(root.conv_folder()), 0u);
}

// Reads the written package back through the EPUB reader's own functions.
struct Written {
  ZipArchive zip;
  std::string opf, ncx;
};

std::unique_ptr<Written> write_and_read(ConvertRoot& root, const ConvBook& book) {
  const std::string path = "/mnt/us/documents/out.epub";
  EXPECT_TRUE(epub_write(book, path));
  auto w = std::make_unique<Written>();
  EXPECT_TRUE(zipopen_mode(w->zip, path.c_str(), 0));
  w->opf = zipextract(w->zip, "OEBPS/content.opf").value_or("");
  w->ncx = zipextract(w->zip, "OEBPS/toc.ncx").value_or("");
  (void)root;
  return w;
}

TEST(ConvertWriter, MetadataIsEscapedAndDefaultsApply) {
  ConvertRoot root;
  ConvBook book;
  book.title = "Fish & <Chips> \"Now\"";
  book.author = "A&B";
  book.language = "en\"><x";
  book.chapter_new("One & Two") += "<p>a</p>";
  book.chapter_new("") += "<p>b</p>";
  book.chapter_new("Three") += "<p>c</p>";
  book.pic_add(1, "\xFF\xD8" "jpeg bytes");
  book.pic_add(2, "\x89PNG\r\n\x1a\n" "png");
  book.cover = 1;
  auto w = write_and_read(root, book);
  BookMeta meta = metadata(w->opf);
  EXPECT_EQ(meta.title, "Fish & <Chips> \"Now\"");
  EXPECT_EQ(meta.author, "A&B");
  EXPECT_NE(w->opf.find("<dc:language>en&quot;&gt;&lt;x</dc:language>"), std::string::npos) << w->opf;
  EXPECT_NE(w->opf.find("media-type=\"image/jpeg\""), std::string::npos);
  EXPECT_NE(w->opf.find("<item id=\"cover-image\" href=\"img00002.png\" media-type=\"image/png\"/>"),
            std::string::npos);
  // Untitled chapters stay out of the map and the play order stays consecutive.
  EXPECT_NE(
      w->ncx.find("playOrder=\"1\"><navLabel><text>One &amp; Two</text></navLabel><content src=\"c00000.xhtml\"/>"),
      std::string::npos);
  EXPECT_NE(w->ncx.find("playOrder=\"2\"><navLabel><text>Three</text></navLabel><content src=\"c00002.xhtml\"/>"),
            std::string::npos);

  ConvBook bare;
  bare.title = "T";
  bare.chapter_new("") += "<p>x</p>";
  auto b = write_and_read(root, bare);
  EXPECT_EQ(b->opf.find("dc:creator"), std::string::npos);
  EXPECT_NE(b->opf.find("<dc:language>en</dc:language>"), std::string::npos);
  EXPECT_EQ(b->opf.find("cover"), std::string::npos);
}

TEST(ConvertWriter, ManyChaptersAreMergedAndHugeOnesSplitSoEveryWordReadsBack) {
  ConvertRoot root;
  const struct {
    const char* name;
    size_t chapters;
    size_t words_each;
  } cases[] = {
      {"70,000 small chapters", 70000, 1},
      {"one chapter of 9 MiB", 1, 1500000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ConvBook book;
    book.title = "Big";
    for (size_t i = 0; i < c.chapters; i++) {
      std::string& body = book.chapter_new(i % 1000 == 0 ? "Part" : "");
      for (size_t k = 0; k < c.words_each; k++) body += "<p>w" + std::to_string(k % 10) + "</p>\n";
    }
    const std::string path = "/mnt/us/documents/big.epub";
    ASSERT_TRUE(epub_write(book, path));
    ZipArchive zip;
    ASSERT_TRUE(zipopen_mode(zip, path.c_str(), 1));
    EXPECT_LE(zip.entries(), 65535u);
    zipclose(zip);
    ASSERT_EQ(ql_open(path.c_str()), 1) << ql_error();
    EXPECT_EQ(ql_word_count(), c.chapters * c.words_each);
  }
}

// Whether an XML parser takes the document whole; the parser's complaint otherwise.
std::string xml_fault(const std::string& doc) {
  std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate("UTF-8"),
                                                                       XML_ParserFree);
  if (XML_Parse(parser.get(), doc.data(), static_cast<int>(doc.size()), XML_TRUE) == XML_STATUS_OK) return "";
  return std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) + " at line " +
         std::to_string(XML_GetCurrentLineNumber(parser.get()));
}

// Chapters over the split size: every piece ends between paragraphs when the text has them, else
// at a space, so every word reads back whole and no piece is empty of words. Each piece is a
// well-formed document: the elements open at a cut are closed there and opened again in the next
// piece, so italics go on across it.
TEST(ConvertWriter, HugeChaptersAreCutBetweenParagraphsElseAtASpace) {
  ConvertRoot root;
  static const char* kWords[] = {"a", "weather", "of", "unreasonable", "hope", "in", "Illiers"};
  const struct {
    const char* name;
    bool paragraphs;
    bool tags;     // now and then a tag with a space inside, where no cut may fall
    bool section;  // inside an element that holds every paragraph
    bool italic;   // the one paragraph's text inside an italic element
  } cases[] = {{"one paragraph of 9 MiB", false, false, false, false},
               {"one paragraph with tags", false, true, false, false},
               {"one paragraph in italics inside a section", false, false, true, true},
               {"short paragraphs", true, true, false, false},
               {"short paragraphs inside a section", true, false, true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ConvBook book;
    book.title = "Big";
    std::string& body = book.chapter_new("One");
    std::vector<std::string> want;
    if (c.section) body += "<div class=\"section\"><!-- <b> --><br/>";
    body += c.italic ? "<p class=\"first\"><em>" : "<p>";
    for (size_t k = 0; body.size() < (9u << 20); k++) {
      const std::string word = kWords[k % 7] + std::to_string(k % 13);
      want.push_back(word);
      body += c.tags && k % 5 == 0 ? "<span class=\"x y\">" + word + "</span> " : word + " ";
      if (c.paragraphs && k % 40 == 39) body += "</p>\n<p>";
    }
    body += c.italic ? "</em></p>" : "</p>";
    if (c.section) body += "</div>";
    const std::string path = "/mnt/us/documents/big.epub";
    ASSERT_TRUE(epub_write(book, path));
    ASSERT_EQ(ql_open(path.c_str()), 1) << ql_error();
    EXPECT_EQ(text_words(), want);
    const BookModel& m = ql_book();
    ASSERT_GE(m.spine.size(), 3u);
    for (size_t i = 0; i < m.spine.size(); i++) {
      const uint64_t end = i + 1 < m.spine.size() ? m.spine[i + 1].first_word : ql_word_count();
      EXPECT_GT(end, m.spine[i].first_word) << "piece " << i << " holds no word";
    }
    if (c.italic) {
      for (uint64_t i = 0; i < ql_word_count(); i++) ASSERT_EQ(ql_words()[i].style, STYLE_ITALIC) << i;
    }
    ZipArchive zip;
    ASSERT_TRUE(zipopen_mode(zip, path.c_str(), 1));
    for (size_t i = 0; i < m.spine.size(); i++) {
      const std::optional<std::string> doc = zipextract(zip, m.spine[i].path);
      ASSERT_TRUE(doc);
      EXPECT_EQ(xml_fault(*doc), "") << m.spine[i].path;
      if (c.paragraphs && i + 1 < m.spine.size()) {
        EXPECT_NE(doc->find(c.section ? "</p></div></body>" : "</p></body>"), std::string::npos)
            << m.spine[i].path;
      }
    }
  }
}

TEST(ConvertWriter, TooManyPicturesAreRefusedWithoutAPartFile) {
  ConvertRoot root;
  ConvBook book;
  book.chapter_new("") += "<p>x</p>";
  for (uint32_t i = 0; i < 65533; i++) book.pic_add(i + 1, "BM");
  EXPECT_FALSE(epub_write(book, "/mnt/us/documents/pics.epub"));
  EXPECT_FALSE(file_exists(root.host("/mnt/us/documents/pics.epub.part")));
  EXPECT_FALSE(file_exists(root.host("/mnt/us/documents/pics.epub")));
}

}  // namespace
