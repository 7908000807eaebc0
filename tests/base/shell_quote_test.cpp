#include "base/shell_quote.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {
std::string quoted(const std::string& text, size_t capacity) {
  std::vector<char> buf(capacity + 1, '#');
  std::string_view q = shell_quote(buf.data(), capacity, text.data(), text.size());
  EXPECT_LE(q.size() + (capacity >= 3 ? 1 : 0), capacity);  // room for the NUL after it
  EXPECT_EQ(buf[capacity], '#');                            // nothing past the capacity
  return std::string(q);
}

// What a real shell makes of the quoted word (printf only: nothing else is run).
std::string through_shell(const std::string& word) {
  const std::string cmd = "printf '%s' " + word;
  std::unique_ptr<FILE, int (*)(FILE*)> p(popen(cmd.c_str(), "r"), pclose);
  std::string out;
  if (!p) return "(popen failed)";
  char buf[512];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p.get())) > 0;) out.append(buf, n);
  return out;
}

bool is_char_boundary(const std::string& text, size_t at) {
  return at == text.size() || (static_cast<unsigned char>(text[at]) & 0xc0) != 0x80;
}
}  // namespace

TEST(ShellQuote, QuotesAndCuts) {
  struct { const char* name; std::string text; size_t capacity; std::string expected; } cases[] = {
      {"quote inside", "it's", 64, "'it'\\''s'"},
      {"empty", "", 64, "''"},
      {"only quotes", "''", 64, "''\\'''\\'''"},
      {"plain cut", "abcdef", 10, "'abc'"},
      {"exact fit", "abc", 10, "'abc'"},
      {"escape that does not fit is dropped whole", "a'b", 10, "'a'"},
      {"escape that fits", "a'b", 12, "'a'\\'''"},
      {"two-byte letters kept whole", "\xc3\xa4\xc3\xa4", 10, "'\xc3\xa4'"},
      {"a letter that does not fit is dropped whole", "a\xc3\xa4", 9, "'a'"},
      {"four-byte character", "\xf0\x9f\x93\x96x", 11, "'\xf0\x9f\x93\x96'"},
      {"stray bytes pass one by one", "\xff\x80z", 64, "'\xff\x80z'"},
      {"sequence cut short in the text", "a\xe2\x82", 64, "'a\xe2\x82'"},
      {"NUL ends the text", std::string("ab\0cd", 5), 64, "'ab'"},
      {"smallest buffer", "abc", 3, "''"},
      {"under seven bytes", "abc", 7, "''"},
      {"eight bytes", "abc", 8, "'a'"},
      {"no room at all", "abc", 2, ""},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(quoted(c.text, c.capacity), c.expected);
  }
}

TEST(ShellQuote, NullTextIsEmpty) {
  char buf[16];
  EXPECT_EQ(shell_quote(buf, sizeof buf, nullptr, 0), "''");
  EXPECT_EQ(shell_quote(nullptr, 16, "x", 1), "");
}

TEST(ShellQuote, AppendKeepsQuotedTextWithinTheLimit) {
  // A quote standing where the limit falls: the old way wrote its escape past the limit.
  const std::string ssid = std::string(630, 'x') + "'y";
  std::string out = "join ";
  shell_quote_append(out, ssid, 634);
  EXPECT_EQ(out, "join '" + std::string(630, 'x') + "'");
  out.clear();
  shell_quote_append(out, ssid, 635);
  EXPECT_EQ(out, "'" + std::string(630, 'x') + "'\\'''");
}

TEST(ShellQuote, ShellReadsBackAPrefixOfTheText) {
  const std::string texts[] = {
      "it's",
      "$(echo no) `echo no` $HOME \\n \"q\" !x *",
      "line one\nline two",
      "'''",
      "\xc3\xa4iti's \xe2\x80\x9c" "book\xe2\x80\x9d '\xf0\x9f\x93\x96'",
  };
  for (const std::string& text : texts) {
    for (size_t capacity = 3; capacity <= text.size() * 4 + 8; capacity += 3) {
      SCOPED_TRACE(text + " / capacity " + std::to_string(capacity));
      const std::string got = through_shell(quoted(text, capacity));
      EXPECT_EQ(text.compare(0, got.size(), got), 0) << got;
      EXPECT_TRUE(is_char_boundary(text, got.size()));
    }
    // Room for every byte escaped: the whole text comes back.
    EXPECT_EQ(through_shell(quoted(text, text.size() * 4 + 7)), text);
  }
}

TEST(ShellQuote, FitsExactlyWhenNothingIsCut) {
  const std::string texts[] = {"", "abc", "a'b", "''", "\xc3\xa4'x", std::string("a\0b", 3)};
  for (const std::string& text : texts) {
    for (size_t limit = 0; limit <= 16; ++limit) {
      SCOPED_TRACE(text + " / limit " + std::to_string(limit));
      std::string whole, cut;
      shell_quote_append(whole, text, 1000);
      shell_quote_append(cut, text, limit);
      const bool complete = cut == whole && text.find('\0') == std::string::npos;
      EXPECT_EQ(shell_quote_fits(text, limit), complete);
    }
  }
}
