#include "base/shell_quote.h"

#include <algorithm>
#include <cstring>

namespace {
// Bytes of the character starting text[0]: a UTF-8 sequence with the continuation bytes that are
// present, or a single byte when the lead byte starts none.
size_t char_length(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  size_t want = 1;
  if (lead >= 0xc2 && lead <= 0xdf) want = 2;
  else if (lead >= 0xe0 && lead <= 0xef) want = 3;
  else if (lead >= 0xf0 && lead <= 0xf4) want = 4;
  size_t n = 1;
  while (n < want && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xc0) == 0x80) n++;
  return n;
}
}  // namespace

void shell_quote_append(std::string& out, std::string_view text, size_t limit) {
  text = text.substr(0, std::min(text.size(), text.find('\0')));
  out.push_back('\'');
  size_t used = 1;
  while (!text.empty()) {
    const size_t n = char_length(text);
    const bool quote = text[0] == '\'';
    const size_t quoted = quote ? 4 : n;
    if (quoted > limit || used > limit - quoted) break;
    if (quote) out.append("'\\''");
    else out.append(text.substr(0, n));
    used += quoted;
    text.remove_prefix(n);
  }
  out.push_back('\'');
}

bool shell_quote_fits(std::string_view text, size_t limit) {
  if (text.find('\0') != std::string_view::npos) return false;
  const auto quotes = static_cast<size_t>(std::count(text.begin(), text.end(), '\''));
  // The opening quote, the text, and three more bytes for each quote's escape.
  return text.empty() || (limit > 0 && text.size() + 3 * quotes <= limit - 1);
}

std::string_view shell_quote(char* buffer, size_t capacity, const char* text, size_t length) {
  if (!buffer || capacity < 3) return {};
  std::string quoted;
  shell_quote_append(quoted, text ? std::string_view(text, length) : std::string_view{},
                     capacity > 7 ? capacity - 6 : 1);
  memcpy(buffer, quoted.data(), quoted.size());
  buffer[quoted.size()] = 0;
  return {buffer, quoted.size()};
}
