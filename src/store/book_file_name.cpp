#include "store/book_file_name.h"

#include "base/utf8.h"

namespace {
constexpr size_t kNameMax = 120;
constexpr std::string_view kFallback = "download";

bool is_ascii_word_byte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
         c == '-';
}
}  // namespace

std::string free_title_file_name(std::string_view title) {
  std::string name(title.substr(0, utf8_prefix_length(title, kNameMax)));
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f ||
        std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) {
      c = ' ';
    }
  }
  const size_t first = name.find_first_not_of(" .");
  if (first == std::string::npos) return std::string(kFallback);
  return name.substr(first, name.find_last_not_of(" .") - first + 1);
}

std::string feed_book_file_name(std::string_view title) {
  std::string name(title.substr(0, utf8_prefix_length(title, kNameMax)));
  for (char& c : name) {
    const auto b = static_cast<unsigned char>(c);
    // Letters of other scripts stay, so titles in them do not all become one name of "_".
    if (b < 0x80 && !is_ascii_word_byte(b)) c = '_';
  }
  const size_t first = name.find_first_not_of(' ');
  if (first == std::string::npos) return std::string(kFallback);
  return name.substr(first, name.find_last_not_of(' ') - first + 1);
}
