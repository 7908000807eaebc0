#include "base/tsv_field.h"

void tsv_escape_append(std::string& out, std::string_view field) {
  for (char c : field) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c; break;
    }
  }
}

std::string tsv_unescape(std::string_view field) {
  if (field.find('\\') == std::string_view::npos) return std::string(field);  // the usual field
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); i++) {
    char c = field[i];
    if (c == '\\' && i + 1 < field.size()) {
      char next = field[i + 1];
      char plain = next == '\\' ? '\\' : next == 't' ? '\t' : next == 'r' ? '\r' : next == 'n' ? '\n' : 0;
      if (plain) {
        out += plain;
        i++;
        continue;
      }
    }
    out += c;
  }
  return out;
}

bool tsv_field_plain(std::string_view field) {
  return field.find_first_of("\t\r\n") == std::string_view::npos;
}

std::string tsv_field_spaced(std::string_view field) {
  std::string out(field);
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) c = ' ';
  }
  return out;
}
