#include "base/number_parse.h"

#include <gtest/gtest.h>

TEST(NumberParse, Unsigned) {
  struct { const char* text; std::optional<uint32_t> expected; } cases[] = {
      {"0", 0}, {"5", 5}, {"+5", 5}, {"1_000", 1000}, {"1_2_3", 123}, {"007", 7},
      {"4294967295", 4294967295u}, {"4294967296", std::nullopt}, {"99999999999999999999", std::nullopt},
      {"", std::nullopt}, {"+", std::nullopt}, {"-1", std::nullopt}, {"_1", std::nullopt},
      {"1_", std::nullopt}, {"1__0", std::nullopt}, {"+_1", std::nullopt}, {"++1", std::nullopt},
      {" 1", std::nullopt}, {"1 ", std::nullopt}, {"1x", std::nullopt}, {"0x10", std::nullopt},
      {"abc", std::nullopt},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_unsigned(c.text), c.expected);
  }
}

TEST(NumberParse, Signed) {
  struct { const char* text; std::optional<int32_t> expected; } cases[] = {
      {"0", 0}, {"-3", -3}, {"+7", 7}, {"12", 12}, {"-1_0", -10}, {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN}, {"2147483648", std::nullopt}, {"-2147483649", std::nullopt},
      {"-", std::nullopt}, {"--1", std::nullopt}, {"1.5", std::nullopt}, {"", std::nullopt},
      {" 1", std::nullopt},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_signed(c.text), c.expected);
  }
}

TEST(NumberParse, PageArgument) {
  struct { const char* text; uint32_t index; } cases[] = {
      {nullptr, 0}, {"0", 0}, {"1", 0}, {"5", 4}, {"+5", 4}, {"1_0", 9}, {"x", 0}, {"-2", 0},
      {"", 0}, {"4294967295", 4294967294u}, {"4294967296", 0},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(none)");
    EXPECT_EQ(page_index_arg(c.text), c.index);
  }
}
