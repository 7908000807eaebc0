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
