#include <gtest/gtest.h>

#include "base/ql_error.h"
#include "book/convert/convert.h"
#include "book/convert/convert_mobi.h"
#include "book/pdf_adapter.h"
#include "convert_fixture.h"
#include "palmdb_builder.h"

namespace {

TEST(ConvertMobi, FixturesOpenWithTheirWordsPicturesAndMetadata) {
  const std::vector<std::string> want = split_words(fixture("source-words.txt"));
  for (const char* name : {"old.mobi", "old-plain.mobi", "joint.mobi", "book.azw3", "book.fb2"}) {
    SCOPED_TRACE(name);
    ConvertRoot root;
    const std::string path = root.put(name, fixture(name));
    ASSERT_EQ(ql_open(path.c_str()), 1) << ql_error();
    EXPECT_EQ(text_words(), want);
    EXPECT_STREQ(ql_title(), "The Lantern Harbour");
    EXPECT_STREQ(ql_author(), "Ada Stone");
    EXPECT_EQ(picture_words(), 1u);
  }
}

}  // namespace

namespace {

ConvBook read_mobi(const std::string& bytes, std::string* error = nullptr) {
  ConvBook book;
  std::optional<std::string> failure = mobi_read(bytes, "/mnt/us/documents/stem.mobi", book);
  if (error) *error = failure.value_or("");
  return book;
}

std::string all_text(const ConvBook& book) {
  std::string s;
  for (const ConvChapter& c : book.chapters) s += c.body;
  return s;
}

std::string padded(std::string text) {
  // Parts shorter than this are dropped as empty unless they hold text, which these do.
  return "<html><body><p>" + text + "</p></body></html>";
}

TEST(ConvertMobi, RefusalsAndDamageGiveTheirMessages) {
  const std::string text = padded("hello there");
  MobiFields drm;
  drm.encryption = 2;
  MobiFields unknown;
  unknown.compression = 3;
  MobiFields huff_missing;
  huff_missing.compression = 17480;
  huff_missing.huff_record = 9;
  huff_missing.huff_count = 2;
  std::string bad_list = palmdb({record0({}), text});
  be32(bad_list, 78, 0xFFFFFF);  // record 0 starts past the end
  const struct {
    const char* name;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"too short", "BOOKMOBI", "This is not a Kindle book file"},
      {"wrong type", palmdb({record0({}), text}, "BOOKPDF!"), "This is not a Kindle book file"},
      {"no records", palmdb({}) + std::string(16, '\0'), "This book file is damaged"},
      {"record 0 outside", bad_list, "This book file is damaged"},
      {"DRM", palmdb({record0(drm), text}), kDrmMessage},
      {"unknown compression", palmdb({record0(unknown), text}),
       "This book uses a compression Corvell Nalo does not know"},
      {"HUFF table missing", palmdb({record0(huff_missing), text}), "This book's compression table could not be read"},
      {"no text", palmdb({record0({}), "<html><body><p> </p></body></html>"}),
       "This book has no text Corvell Nalo can read"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    read_mobi(c.bytes, &error);
    EXPECT_EQ(error, c.message);
  }
}

TEST(ConvertMobi, DrmBookIsRefusedAndNothingIsWritten) {
  ConvertRoot root;
  std::string bytes = fixture("old.mobi");
  const uint32_t rec0 = static_cast<uint8_t>(bytes[78]) << 24 | static_cast<uint8_t>(bytes[79]) << 16 |
                        static_cast<uint8_t>(bytes[80]) << 8 | static_cast<uint8_t>(bytes[81]);
  be16(bytes, rec0 + 12, 2);
  Converted c = convert(root.put("locked.mobi", bytes));
  EXPECT_EQ(c.result, -1);
  EXPECT_EQ(c.error, kDrmMessage);
  EXPECT_EQ(entries_in(root.conv_folder()), 0u);
}

TEST(ConvertMobi, PalmDocWithoutMobiHeaderHasTheFileNameAndNoPictures) {
  MobiFields plain;
  plain.with_mobi = false;
  const std::string png = "\x89PNG\r\n\x1a\n" + std::string(16, 'x');
  ConvBook book = read_mobi(palmdb({record0(plain), padded("just text <img recindex=\"00001\"/>"), png}, "TEXtREAd"));
  EXPECT_EQ(book.title, "stem");
  EXPECT_TRUE(book.pictures.empty());
  EXPECT_NE(all_text(book).find("src=\"\""), std::string::npos);
}

TEST(ConvertMobi, RecindexOnlyAtAnAttributeAndLanguageFromExth) {
  MobiFields f;
  f.first_image = 2;
  f.exth = {{100, "Ann Author"}, {503, "Long Title"}, {524, "fr"}, {201, std::string("\0\0\0\0", 4)}};
  const std::string png = "\x89PNG\r\n\x1a\n" + std::string(16, 'x');
  ConvBook book = read_mobi(palmdb({record0(f),
                                    padded("<img recindex=\"00001\"/> datarecindex=1 <img\nrecindex=1>"), png}));
  EXPECT_EQ(book.title, "Long Title");
  EXPECT_EQ(book.author, "Ann Author");
  EXPECT_EQ(book.language, "fr");
  ASSERT_EQ(book.pictures.size(), 1u);
  EXPECT_EQ(book.cover, 0);
  const std::string body = all_text(book);
  EXPECT_NE(body.find("<img src=\"img00001.png\"/>"), std::string::npos) << body;
  EXPECT_NE(body.find("datarecindex=1"), std::string::npos) << body;
  EXPECT_NE(body.find("<img\nsrc=\"img00001.png\">"), std::string::npos) << body;
}

TEST(ConvertMobi, PageBreaksSplitPartsOfAtLeast3000Bytes) {
  // 20 blocks of 500 bytes, each followed by a page break: a part closes at the first break
  // 3000 bytes or more after its start, so six blocks make a part.
  std::string text;
  for (int i = 0; i < 20; i++) {
    std::string block = "<p>b" + std::to_string(i) + " ";
    block += std::string(500 - block.size() - 4, 'x') + "</p>";
    text += block + "<mbp:pagebreak/>";
  }
  MobiFields f;
  f.text_records = 3;
  ConvBook book = read_mobi(palmdb({record0(f), text.substr(0, 4096), text.substr(4096, 4096), text.substr(8192)}));
  ASSERT_EQ(book.chapters.size(), 4u);
  const size_t blocks[] = {6, 6, 6, 2};
  for (size_t i = 0; i < 4; i++) {
    SCOPED_TRACE(i);
    const std::string& body = book.chapters[i].body;
    size_t n = 0;
    for (size_t at = body.find("<p>"); at != std::string::npos; at = body.find("<p>", at + 1)) n++;
    EXPECT_EQ(n, blocks[i]);
    EXPECT_EQ(body.find("mbp:"), std::string::npos);
    EXPECT_EQ(book.chapters[i].title, "") << "the first paragraph is too long to be a title";
  }
}

TEST(ConvertMobi, EmptyPartsAreDroppedAndPicturePartsKept) {
  ConvBook book;
  book.pic_add(1, "BM picture");
  add_part(book, "<html><head><title>t</title></head><body><p> </p></body></html>", false);
  EXPECT_TRUE(book.chapters.empty());
  add_part(book, "<body><p><img recindex=\"1\"/></p><mbp:pagebreak/></body>", false);
  ASSERT_EQ(book.chapters.size(), 1u);
  EXPECT_EQ(book.chapters[0].body, "<p><img src=\"img00001.bmp\"/></p>");
  add_part(book, "<body><h2 class=\"c\">Kin<b>d</b>le</h2><a href=\"kindle:pos:fid:0001\">x</a>"
                 "<img src=\"kindle:embed:0001?mime=image/bmp\"/><img src=\"kindle:embed:0009\"/></body>",
           true);
  ASSERT_EQ(book.chapters.size(), 2u);
  EXPECT_EQ(book.chapters[1].title, "Kin d le");
  EXPECT_EQ(book.chapters[1].body, "<h2 class=\"c\">Kin<b>d</b>le</h2><a href=\"#\">x</a>"
                                   "<img src=\"img00001.bmp\"/><img src=\"\"/>");
}

TEST(ConvertMobi, PalmDocReferenceIntoAnEarlierRecordGivesNothing) {
  std::string out = "previous record";
  const std::string in = "ab\x80\x13";  // distance 2, length 6; then a distance past this record
  palmdoc_unpack(out, ByteReader(in));
  EXPECT_EQ(out, "previous recordabababab");
  const std::string far = "x\x80\x50";  // distance 10: before this record's output
  std::string out2 = "0123456789";
  palmdoc_unpack(out2, ByteReader(far));
  EXPECT_EQ(out2, "0123456789x");
}

TEST(ConvertMobi, HuffDictionaryWithNestingLoopsAndBombs) {
  // Entry 0 "Hello ", 1 "world", 2 = 0 1 (nested), 3 = 3 (itself), 4 doubles 5, 5 doubles 6...
  std::vector<CdicEntry> entries = {{"Hello ", true}, {"world", true}, {{huff_code(0), huff_code(1)}, false},
                                    {{huff_code(3)}, false}};
  constexpr uint32_t kLevels = 40;
  for (uint32_t k = 0; k < kLevels; k++) {
    const uint32_t next = 4 + k + 1;
    entries.push_back(k + 1 < kLevels ? CdicEntry{{huff_code(next), huff_code(next)}, false} : CdicEntry{"ab", true});
  }
  auto book_with = [&](std::string codes) {
    MobiFields f;
    f.compression = 17480;
    f.huff_record = 2;
    f.huff_count = 2;
    return read_mobi(palmdb({record0(f), codes, huff_record(), cdic_record(entries)}));
  };
  const std::string open = "<html><body><p>", close = "</p></body></html>";
  // Markup comes from literal entries too: add them and refer to them.
  entries.push_back({open, true});
  entries.push_back({close, true});
  const uint32_t kOpen = static_cast<uint32_t>(entries.size() - 2), kClose = kOpen + 1;
  ConvBook nested = book_with({huff_code(kOpen), huff_code(2), huff_code(3), huff_code(kClose)});
  EXPECT_NE(all_text(nested).find("<p>Hello world</p>"), std::string::npos) << all_text(nested);
  // 2^39 bytes if expanded in full; the budget ends it.
  ConvBook bomb = book_with({huff_code(kOpen), huff_code(4), huff_code(kClose)});
  EXPECT_LE(all_text(bomb).size(), size_t{2} << 20);
}

TEST(ConvertMobi, EveryPrefixAndFlippedByteFailsOrConverts) {
  for (const char* name : {"old.mobi", "book.azw3", "joint.mobi"}) {
    SCOPED_TRACE(name);
    const std::string whole = fixture(name);
    for (size_t n = 0; n < whole.size(); n += 41) {
      std::string error;
      ConvBook book = read_mobi(whole.substr(0, n), &error);
      EXPECT_TRUE(!error.empty() || !book.chapters.empty()) << n;
    }
    for (size_t i = 0; i < whole.size(); i += 13) {
      std::string flipped = whole;
      flipped[i] = static_cast<char>(flipped[i] ^ 0xA5);
      std::string error;
      ConvBook book = read_mobi(flipped, &error);
      EXPECT_TRUE(!error.empty() || !book.chapters.empty()) << i;
    }
  }
}

TEST(ConvertMobi, JointAndKf8BooksKeepCoverAndLanguage) {
  for (const char* name : {"joint.mobi", "book.azw3", "old.mobi"}) {
    SCOPED_TRACE(name);
    ConvBook book = read_mobi(fixture(name));
    EXPECT_EQ(book.pictures.size(), 3u);  // the cover, the picture in chapter 2, a thumbnail
    ASSERT_GE(book.cover, 0);
    EXPECT_EQ(book.language, "fi");
    ConvertRoot root;
    std::vector<uint8_t> pixels(300 * 420);
    EXPECT_EQ(qlpdf_cover(root.put(name, fixture(name)).c_str(), pixels.data(), 300, 420), 1);
    char title[512], author[256];
    EXPECT_EQ(ql_convert_meta(root.put(std::string("probe-") + name, fixture(name)).c_str(), title, sizeof title,
                              author, sizeof author), 1);
    EXPECT_STREQ(title, "The Lantern Harbour");
    EXPECT_STREQ(author, "Ada Stone");
  }
}

}  // namespace
