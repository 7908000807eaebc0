#include "base/number_parse.h"

namespace {
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The magnitude of a digit run, or empty when malformed or above `limit`.
std::optional<uint64_t> parse_digits(std::string_view s, uint64_t limit) {
  if (s.empty()) return std::nullopt;
  uint64_t v = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '_') {
      if (i == 0 || i + 1 == s.size() || !is_digit(s[i - 1]) || !is_digit(s[i + 1])) return std::nullopt;
      continue;
    }
    if (!is_digit(c)) return std::nullopt;
    v = v * 10 + static_cast<uint64_t>(c - '0');
    if (v > limit) return std::nullopt;
  }
  return v;
}
}  // namespace

std::optional<uint32_t> parse_unsigned(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  auto v = parse_digits(text, UINT32_MAX);
  if (!v) return std::nullopt;
  return static_cast<uint32_t>(*v);
}

std::optional<int32_t> parse_signed(std::string_view text) {
  bool negative = false;
  if (text.starts_with('+') || text.starts_with('-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  uint64_t limit = negative ? uint64_t{1} << 31 : INT32_MAX;
  auto v = parse_digits(text, limit);
  if (!v) return std::nullopt;
  return static_cast<int32_t>(negative ? -static_cast<int64_t>(*v) : static_cast<int64_t>(*v));
}

uint32_t page_index_arg(const char* text) {
  if (!text) return 0;
  auto n = parse_unsigned(text);
  return n && *n > 0 ? *n - 1 : 0;
}
