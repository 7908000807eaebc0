#include <gtest/gtest.h>

#include <random>
#include <set>

#include "base/text_decode.h"
#include "base/utf8.h"
#include "support/text_encoding.h"

namespace {
using namespace std::string_view_literals;

constexpr std::string_view kFffd = "\xEF\xBF\xBD";

std::string decoded(std::string_view data, uint32_t encoding) {
  std::string out;
  to_utf8(out, data, encoding);
  return out;
}

TEST(TextDecode, MarksSurrogatesAndCodePages) {
  struct Case {
    const char* name;
    std::string_view data;
    uint32_t encoding;
    std::string expected;
  };
  const std::string fffd(kFffd);
  const Case cases[] = {
      {"UTF-8 mark beats the code page", "\xEF\xBB\xBF" "caf\xC3\xA9", kCodePage1251, "caf\xC3\xA9"},
      {"UTF-8 mark alone", "\xEF\xBB\xBF", kEncodingAuto, ""},
      {"UTF-8 mark, rest unchanged even if broken", "\xEF\xBB\xBF\xE9", kEncodingAuto, "\xE9"},
      {"UTF-16LE mark", "\xFF\xFE" "c\0\xE9\0"sv, kCodePage1252, "c\xC3\xA9"},
      {"UTF-16BE mark", "\xFE\xFF\x04\x1F\x04\x40"sv, kCodePageUtf8, "\xD0\x9F\xD1\x80"},
      {"UTF-16 mark alone", "\xFF\xFE", kEncodingAuto, ""},
      {"UTF-16 mark and one byte", "\xFE\xFF" "A", kEncodingAuto, ""},
      {"UTF-16 NUL unit kept", "\xFF\xFE\0\0"sv, kEncodingAuto, std::string(1, '\0')},
      {"LE surrogate pair joined", "\xFF\xFE\x3D\xD8\x00\xDE"sv, kEncodingAuto, "\xF0\x9F\x98\x80"},
      {"BE surrogate pair joined", "\xFE\xFF\xD8\x3D\xDE\x00"sv, kEncodingAuto, "\xF0\x9F\x98\x80"},
      {"highest pair", "\xFE\xFF\xDB\xFF\xDF\xFF"sv, kEncodingAuto, "\xF4\x8F\xBF\xBF"},
      {"high surrogate at the end", "\xFF\xFE" "A\0\x3D\xD8"sv, kEncodingAuto, "A" + fffd},
      {"high surrogate before a letter", "\xFF\xFE\x3D\xD8" "A\0"sv, kEncodingAuto, fffd + "A"},
      {"low surrogate alone", "\xFF\xFE\x00\xDE" "A\0"sv, kEncodingAuto, fffd + "A"},
      {"two highs then a low", "\xFF\xFE\x3D\xD8\x3D\xD8\x00\xDE"sv, kEncodingAuto, fffd + "\xF0\x9F\x98\x80"},
      {"high then another high at the end", "\xFE\xFF\xD8\x00\xDB\xFF"sv, kEncodingAuto, fffd + fffd},
      {"cut-off final unit", "\xFF\xFE" "A\0B"sv, kEncodingAuto, "A" + fffd},
      {"private use and U+FFFF", "\xFE\xFF\xE0\x00\xFF\xFF"sv, kEncodingAuto, "\xEE\x80\x80\xEF\xBF\xBF"},
      {"65001 passes anything", "caf\xE9", kCodePageUtf8, "caf\xE9"},
      {"automatic keeps UTF-8", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", kEncodingAuto,
       "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"automatic falls back to 1252", "\x93" "caf\xE9\x94", kEncodingAuto, "\xE2\x80\x9C" "caf\xC3\xA9\xE2\x80\x9D"},
      {"automatic: stray continuation byte", "\xA9 2024", kEncodingAuto, "\xC2\xA9 2024"},
      {"automatic: lead cut at the end", "ab\xC3", kEncodingAuto, "ab\xC3\x83"},
      {"automatic: lead without continuation", "\xC3" "a", kEncodingAuto, "\xC3\x83" "a"},
      {"automatic: no UTF-8 byte", "\xF8", kEncodingAuto, "\xC3\xB8"},
      {"1251 word", "\xCF\xF0\xE8\xE2\xE5\xF2", kCodePage1251, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
      {"1251 first and last letters", "\xC0\xFF", kCodePage1251, "\xD0\x90\xD1\x8F"},
      {"1251 table", "\x80\x88\xA8\xB8\xB9\xA5\xB4\xA1", kCodePage1251,
       "\xD0\x82\xE2\x82\xAC\xD0\x81\xD1\x91\xE2\x84\x96\xD2\x90\xD2\x91\xD0\x8E"},
      {"1251 undefined byte keeps its value", "\x98", kCodePage1251, "\xC2\x98"},
      {"1252 table", "\x80\x8A\x9F\x99\x85", kCodePage1252,
       "\xE2\x82\xAC\xC5\xA0\xC5\xB8\xE2\x84\xA2\xE2\x80\xA6"},
      {"1252 upper half is Latin-1", "\xA0\xE9\xFF", kCodePage1252, "\xC2\xA0\xC3\xA9\xC3\xBF"},
      {"1252 undefined bytes keep their value", "\x81\x8D\x8F\x90\x9D", kCodePage1252,
       "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
      {"other numbers read as 1252", "\xE9\x80", 28591, "\xC3\xA9\xE2\x82\xAC"},
      {"ASCII untouched", "plain <p>text</p>", kCodePage1251, "plain <p>text</p>"},
      {"empty", "", kCodePage1252, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decoded(c.data, c.encoding), c.expected);
  }
  std::string out = "kept ";
  to_utf8(out, "\xE9", kCodePage1252);
  EXPECT_EQ(out, "kept \xC3\xA9");  // appends
}

TEST(TextDecode, EveryCodePageByteIsOneDistinctCharacter) {
  for (uint32_t cp : {kCodePage1251, kCodePage1252}) {
    SCOPED_TRACE(cp);
    std::set<uint32_t> seen;
    for (int b = 0; b < 256; b++) {
      SCOPED_TRACE(b);
      auto chars = strict_code_points(decoded(std::string(1, static_cast<char>(b)), cp));
      ASSERT_TRUE(chars);
      ASSERT_EQ(chars->size(), 1u);
      uint32_t c = (*chars)[0];
      EXPECT_TRUE(seen.insert(c).second) << "U+" << std::hex << c << " twice";
      uint32_t own = static_cast<uint32_t>(b);
      if (b < 0x80 || (cp == kCodePage1252 && b >= 0xA0)) {
        EXPECT_EQ(c, own);
      } else if (cp == kCodePage1251 && b >= 0xC0) {
        EXPECT_EQ(c, 0x410u + (own - 0xC0));
      }
    }
  }
}

TEST(TextDecode, Utf16RoundTripsEveryPlane) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<uint32_t> any(1, 0x10FFFF);
  std::string text;
  for (uint32_t cp : {0x41u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xD7FFu, 0xE000u, 0xFFFDu, 0x10000u, 0x10FFFFu}) {
    append_utf8(text, cp);
  }
  for (int i = 0; i < 2000; i++) {
    uint32_t cp = any(rng);
    if (cp < 0xD800 || cp > 0xDFFF) append_utf8(text, cp);
  }
  for (bool be : {false, true}) {
    SCOPED_TRACE(be ? "BE" : "LE");
    EXPECT_EQ(decoded(utf16_of(text, be, true), kCodePage1252), text);
    std::string bare;
    utf16_to_utf8(bare, utf16_of(text, be, false), be);
    EXPECT_EQ(bare, text);
  }
}

TEST(TextDecode, ArbitraryUtf16AndCodePageBytesGiveValidUtf8) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> byte(0, 255);
  // Surrogate-heavy units make pairs, lone halves and cut-off ends likely.
  const char favoured[] = {'\xD8', '\xDB', '\xDC', '\xDF', '\0', 'A'};
  for (int round = 0; round < 3000; round++) {
    std::string data = round % 2 ? "\xFF\xFE" : "\xFE\xFF";
    size_t len = static_cast<size_t>(byte(rng) % 24);
    for (size_t i = 0; i < len; i++) {
      int r = byte(rng);
      data += r < 128 ? favoured[r % 6] : static_cast<char>(byte(rng));
    }
    SCOPED_TRACE(round);
    ASSERT_TRUE(strict_code_points(decoded(data, kEncodingAuto)));
    ASSERT_TRUE(strict_code_points(decoded(data.substr(2), kCodePage1251)));
    ASSERT_TRUE(strict_code_points(decoded(data.substr(2), kCodePage1252)));
  }
}

TEST(TextDecode, WellFormedUtf8Check) {
  struct Case {
    const char* name;
    std::string_view text;
    bool expected;
  };
  const Case cases[] = {
      {"empty", "", true},
      {"ASCII", "abc", true},
      {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", true},
      {"lone continuation", "a\x80", false},
      {"lead cut at the end", "a\xE2\x82", false},
      {"lead followed by ASCII", "\xC3" "a", false},
      {"five-byte lead", "\xF8\x80\x80\x80\x80", false},
      {"FF", "\xFF", false},
      {"Latin-1 word", "caf\xE9", false},
      {"overlong two-byte slash", "\xC0\xAF", false},
      {"overlong three-byte", "\xE0\x80\xAF", false},
      {"overlong four-byte", "\xF0\x80\x80\xAF", false},
      {"surrogate", "\xED\xA0\x80", false},
      {"last before surrogates", "\xED\x9F\xBF", true},
      {"past U+10FFFF", "\xF4\x90\x80\x80", false},
      {"U+10FFFF", "\xF4\x8F\xBF\xBF", true},
      {"F5 lead", "\xF5\x80\x80\x80", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(is_well_formed_utf8(c.text), c.expected);
  }
}

TEST(DocumentText, EncodingFromMarkDeclarationOrMeta) {
  const std::string cafe = "caf\xC3\xA9";
  const std::string privet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
  const std::string latin1_body = "<p>caf\xE9</p>";
  const std::string utf8_decl = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
  const std::string utf16_decl = "<?xml version=\"1.0\" encoding=\"UTF-16\"?><p>" + cafe + " " + privet + "</p>";
  const std::string utf16_text = utf16_decl;
  const std::string meta_far = "<html><head><!--" + std::string(4100, ' ') + "--><meta charset=\"latin1\"/>";
  struct Case {
    const char* name;
    std::string bytes;
    bool is_html;
    std::string expected;
  };
  const Case cases[] = {
      {"UTF-8 mark dropped", "\xEF\xBB\xBF<p>" + cafe + "</p>", false, "<p>" + cafe + "</p>"},
      {"UTF-8 mark beats a Latin-1 declaration",
       "\xEF\xBB\xBF<?xml version='1.0' encoding='iso-8859-1'?>\xE9", false,
       "<?xml version='1.0' encoding='iso-8859-1'?>\xE9"},
      {"UTF-16LE with mark", utf16_of(utf16_text, false, true), true, utf16_text},
      {"UTF-16BE with mark", utf16_of(utf16_text, true, true), false, utf16_text},
      {"UTF-16LE declared without mark", utf16_of(utf16_text, false, false), false, utf16_text},
      {"UTF-16BE declared without mark", utf16_of(utf16_text, true, false), true, utf16_text},
      {"Latin-1 declared", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + latin1_body, false,
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><p>" + cafe + "</p>"},
      {"Latin-1 declared, spaced and single-quoted", "  <?xml version='1.0' encoding = 'latin1' ?>" + latin1_body,
       false, "  <?xml version='1.0' encoding = 'latin1' ?><p>" + cafe + "</p>"},
      {"Windows-1252 declared", "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\x93\x80\x94", false,
       "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\xE2\x80\x9C\xE2\x82\xAC\xE2\x80\x9D"},
      {"US-ASCII with high bytes", "<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\xE9", false,
       "<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\xC3\xA9"},
      {"Windows-1251 declared", "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\xCF\xF0\xE8\xE2\xE5\xF2", false,
       "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>" + privet},
      {"Latin-1 label on UTF-8 bytes kept", "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>" + cafe, false,
       "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>" + cafe},
      {"UTF-8 declared with broken bytes kept", utf8_decl + latin1_body, true, utf8_decl + latin1_body},
      {"undeclared broken bytes kept", latin1_body, true, latin1_body},
      {"other single-byte label kept", "<?xml version=\"1.0\" encoding=\"iso-8859-5\"?>\xE9", false,
       "<?xml version=\"1.0\" encoding=\"iso-8859-5\"?>\xE9"},
      {"UTF-16 label on single bytes kept", "<?xml version=\"1.0\" encoding=\"utf-16\"?>\xE9", false,
       "<?xml version=\"1.0\" encoding=\"utf-16\"?>\xE9"},
      {"declaration not at the start", "<p/><?xml version=\"1.0\" encoding=\"latin1\"?>\xE9", false,
       "<p/><?xml version=\"1.0\" encoding=\"latin1\"?>\xE9"},
      {"unterminated encoding value", "<?xml version=\"1.0\" encoding=\"latin1?>\xE9", false,
       "<?xml version=\"1.0\" encoding=\"latin1?>\xE9"},
      {"meta charset", "<html><head><META Charset=\"ISO-8859-1\"/></head>" + latin1_body, true,
       "<html><head><META Charset=\"ISO-8859-1\"/></head><p>" + cafe + "</p>"},
      {"http-equiv content type",
       "<?xml version=\"1.0\"?><html><head><meta http-equiv=\"Content-Type\" "
       "content=\"text/html; charset=windows-1251\"/></head>\xC0",
       true,
       "<?xml version=\"1.0\"?><html><head><meta http-equiv=\"Content-Type\" "
       "content=\"text/html; charset=windows-1251\"/></head>\xD0\x90"},
      {"meta ignored outside XHTML", "<meta charset=\"latin1\"/>\xE9", false, "<meta charset=\"latin1\"/>\xE9"},
      {"declaration beats meta", utf8_decl + "<meta charset=\"latin1\"/>\xE9", true,
       utf8_decl + "<meta charset=\"latin1\"/>\xE9"},
      {"meta past the head's first 4 KB", meta_far + "\xE9", true, meta_far + "\xE9"},
      {"empty", "", true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(document_to_utf8(c.bytes, c.is_html), c.expected);
  }
}

TEST(DocumentText, DamagedUtf16DocumentsGiveValidUtf8) {
  const std::string text = "<?xml version=\"1.0\"?><p>caf\xC3\xA9 \xF0\x9F\x93\x96 \xD0\x9F</p>";
  for (bool be : {false, true}) {
    for (bool mark : {false, true}) {
      const std::string doc = utf16_of(text, be, mark);
      SCOPED_TRACE(std::string(be ? "BE" : "LE") + (mark ? " with mark" : ""));
      // A single byte of a mark is no mark: it stays as it is, like any undeclared text.
      for (size_t n = mark ? 2 : 0; n <= doc.size(); n++) {
        ASSERT_TRUE(strict_code_points(document_to_utf8(doc.substr(0, n), true))) << "prefix " << n;
      }
      for (size_t i = 0; i < doc.size(); i++) {
        std::string flipped = doc;
        flipped[i] = static_cast<char>(~flipped[i]);
        std::string out = document_to_utf8(flipped, true);
        // A flip inside the mark or declaration can leave single-byte text, which stays unchanged.
        if (i >= 12) {
          ASSERT_TRUE(strict_code_points(out)) << "flip " << i;
        }
      }
    }
  }
}

}  // namespace
