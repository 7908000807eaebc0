#include "base/json_value.h"

#include <gtest/gtest.h>
#include <string>

namespace {
const char kDocument[] =
    R"( {"a": [1, -2, 3.5, 1e2, true, false, null], "s": "x\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00",)"
    R"( "o": {"k": "first", "k": "second"}, "big": 9223372036854775808} )";
}  // namespace

TEST(JsonValue, ReadsEveryKind) {
  const std::optional<JsonValue> root = json_parse(kDocument);
  ASSERT_TRUE(root);
  ASSERT_TRUE(root->is_object());
  const JsonValue* a = root->find("a");
  ASSERT_TRUE(a);
  ASSERT_EQ(a->items.size(), 7u);
  EXPECT_EQ(a->items[0].kind, JsonKind::Integer);
  EXPECT_EQ(a->items[1].integer, -2);
  EXPECT_EQ(a->items[2].kind, JsonKind::Number);
  EXPECT_EQ(a->items[2].number, 3.5);
  EXPECT_EQ(a->items[3].kind, JsonKind::Number);  // an exponent makes it no integer
  EXPECT_TRUE(a->items[4].boolean);
  EXPECT_EQ(a->items[5].kind, JsonKind::Bool);
  EXPECT_EQ(a->items[6].kind, JsonKind::Null);
  EXPECT_EQ(root->string_at("s"), "x\"\\/\b\f\n\r\t\xC3\xA9\xF0\x9F\x98\x80");
  // A repeated name: the last one counts, both stay in file order.
  const JsonValue* o = root->find("o");
  EXPECT_EQ(o->string_at("k"), "second");
  EXPECT_EQ(o->members.size(), 2u);
  // Past 64 bits is a number, not an integer.
  EXPECT_EQ(root->find("big")->kind, JsonKind::Number);
  EXPECT_FALSE(root->string_at("a"));
  EXPECT_FALSE(root->find("missing"));
  EXPECT_FALSE(a->find("a"));  // not an object
}

TEST(JsonValue, RefusesMalformedDocuments) {
  const char* bad[] = {
      "",           " ",         "{",        "}",         "[1,]",
      "{\"a\":1,}", "{\"a\" 1}", "{a:1}",    "01",        "-",
      "1.",         ".5",        "1e",       "+1",        "tru",
      "nul",        "\"open",    "\"a\\x\"", "\"\\u12\"", "\"tab\there\"",
      "{} {}",      "[1] x",     "'single'", "NaN",       "[1 2]",
      "{\"a\":}",
  };
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(json_parse(text));
  }
}

TEST(JsonValue, LoneSurrogatesBecomeReplacementCharacters) {
  const auto v = json_parse(R"(["\ud800x", "\udc00", "\ud800\u0041"])");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->items[0].text, "\xEF\xBF\xBDx");
  EXPECT_EQ(v->items[1].text, "\xEF\xBF\xBD");
  EXPECT_EQ(v->items[2].text,
            "\xEF\xBF\xBD"
            "A");
}

TEST(JsonValue, DeepNestingAndHugeDocumentsAreRefused) {
  const size_t depth = kJsonMaxDepth;
  EXPECT_TRUE(json_parse(std::string(depth, '[') + std::string(depth, ']')));
  EXPECT_FALSE(json_parse(std::string(depth + 1, '[') + std::string(depth + 1, ']')));
  EXPECT_FALSE(json_parse(std::string(100000, '[')));
  std::string many = "[0";
  for (size_t i = 2; i < kJsonMaxValues; ++i) many += ",0";
  EXPECT_TRUE(json_parse(many + "]"));  // the array and its values just fit
  EXPECT_FALSE(json_parse(many + ",0]"));
}

TEST(JsonValue, EveryPrefixOfADocumentFailsCleanly) {
  const std::string doc = kDocument;
  for (size_t n = 0; n + 1 < doc.size(); ++n) {
    SCOPED_TRACE(n);
    EXPECT_FALSE(json_parse(doc.substr(0, n)));
  }
  for (size_t i = 0; i < doc.size(); ++i) {
    std::string flipped = doc;
    flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);
    (void)json_parse(flipped);  // only must not crash or overrun
  }
}

TEST(JsonValue, QuotingRoundTripsEveryByte) {
  std::string all;
  for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
  std::string quoted;
  json_quote_append(quoted, all);
  for (char c : quoted) EXPECT_GE(static_cast<unsigned char>(c), 0x20);
  const auto back = json_parse(quoted);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->text, all);
  std::string small;
  json_quote_append(small, "a\"b\\c\n\x01");
  EXPECT_EQ(small, R"("a\"b\\c\n\u0001")");
}

TEST(JsonValue, EscapingStopsPastItsCapOnWholeCharacters) {
  struct Case {
    const char* name;
    std::string in;
    JsonEscape how;
    std::string out;
  } cases[] = {
      {"no cap", "ab\xE2\x82\xAC", {}, "ab\xE2\x82\xAC"},
      {"a character is never split", "ab\xE2\x82\xAC\xE2\x82\xAC", {.cap = 3}, "ab\xE2\x82\xAC"},
      {"an escape may carry it two over", "ab\"cd", {.cap = 2}, "ab\\\""},
      {"bytes that are no character stay", "a\xE9\t", {}, "a\xE9\\t"},
      {"plain text", "a\xE9\t\r\n", {.plain_text = true}, "a? \\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "x";
    json_escape_append(out, c.in, c.how);
    EXPECT_EQ(out, "x" + c.out);
  }
}
