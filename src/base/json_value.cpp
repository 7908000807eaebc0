#include "base/json_value.h"

#include <charconv>

#include "base/utf8.h"

namespace {

// A control byte as JSON writes it: its short escape where it has one, else \u00XX.
void append_control_escape(std::string& out, char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  switch (c) {
    case '\n': out.append("\\n"); break;
    case '\r': out.append("\\r"); break;
    case '\t': out.append("\\t"); break;
    case '\b': out.append("\\b"); break;
    case '\f': out.append("\\f"); break;
    default:
      out.append("\\u00");
      out.push_back(kHex[(c >> 4) & 0xF]);
      out.push_back(kHex[c & 0xF]);
  }
}

class JsonParser {
 public:
  explicit JsonParser(std::string_view text) : s_(text) {}

  std::optional<JsonValue> document() {
    JsonValue root;
    skip_space();
    if (!value(root, 0)) return std::nullopt;
    skip_space();
    if (pos_ != s_.size()) return std::nullopt;
    return root;
  }

 private:
  bool at_end() const { return pos_ >= s_.size(); }
  char peek() const { return at_end() ? '\0' : s_[pos_]; }
  void skip_space() {
    while (!at_end() &&
           (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
      ++pos_;
  }
  bool literal(std::string_view word) {
    if (s_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  bool value(JsonValue& out, size_t depth) {
    if (++values_ > kJsonMaxValues) return false;
    switch (peek()) {
      case '{': return object(out, depth + 1);
      case '[': return array(out, depth + 1);
      case '"': out.kind = JsonKind::String; return string(out.text);
      case 't':
        out.kind = JsonKind::Bool;
        out.boolean = true;
        return literal("true");
      case 'f': out.kind = JsonKind::Bool; return literal("false");
      case 'n': out.kind = JsonKind::Null; return literal("null");
      default: return number(out);
    }
  }

  bool object(JsonValue& out, size_t depth) {
    if (depth > kJsonMaxDepth) return false;
    out.kind = JsonKind::Object;
    ++pos_;
    skip_space();
    if (peek() == '}') {
      ++pos_;
      return true;
    }
    for (;;) {
      JsonMember& m = out.members.emplace_back();
      skip_space();
      if (peek() != '"' || !string(m.name)) return false;
      skip_space();
      if (peek() != ':') return false;
      ++pos_;
      skip_space();
      if (!value(m.value, depth)) return false;
      skip_space();
      if (peek() == '}') {
        ++pos_;
        return true;
      }
      if (peek() != ',') return false;
      ++pos_;
    }
  }

  bool array(JsonValue& out, size_t depth) {
    if (depth > kJsonMaxDepth) return false;
    out.kind = JsonKind::Array;
    ++pos_;
    skip_space();
    if (peek() == ']') {
      ++pos_;
      return true;
    }
    for (;;) {
      skip_space();
      if (!value(out.items.emplace_back(), depth)) return false;
      skip_space();
      if (peek() == ']') {
        ++pos_;
        return true;
      }
      if (peek() != ',') return false;
      ++pos_;
    }
  }

  // Four hexadecimal digits after "\u"; false when they are not there.
  bool hex4(uint32_t& cp) {
    if (s_.size() - pos_ < 4) return false;
    const char* first = s_.data() + pos_;
    const auto [end, ec] = std::from_chars(first, first + 4, cp, 16);
    if (ec != std::errc() || end != first + 4) return false;
    pos_ += 4;
    return true;
  }

  // A lone or mismatched surrogate becomes U+FFFD: the text stays readable and valid UTF-8.
  bool escape_u(std::string& out) {
    uint32_t cp = 0;
    if (!hex4(cp)) return false;
    if (cp >= 0xD800 && cp <= 0xDBFF && s_.substr(pos_, 2) == "\\u") {
      const size_t back = pos_;
      pos_ += 2;
      uint32_t low = 0;
      if (!hex4(low)) return false;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        append_utf8(out, 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00));
        return true;
      }
      pos_ = back;
    }
    append_utf8(out, cp >= 0xD800 && cp <= 0xDFFF ? 0xFFFD : cp);
    return true;
  }

  bool string(std::string& out) {
    ++pos_;
    for (;;) {
      if (at_end()) return false;
      const char c = s_[pos_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (at_end()) return false;
      switch (s_[pos_++]) {
        case '"': out.push_back('"'); break;
        case '\\': out.push_back('\\'); break;
        case '/': out.push_back('/'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'u':
          if (!escape_u(out)) return false;
          break;
        default: return false;
      }
    }
  }

  size_t digits() {
    const size_t from = pos_;
    while (!at_end() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
    return pos_ - from;
  }

  bool number(JsonValue& out) {
    const size_t from = pos_;
    if (peek() == '-') ++pos_;
    const size_t lead = pos_;
    const size_t whole = digits();
    if (whole == 0 || (whole > 1 && s_[lead] == '0')) return false;
    bool integral = true;
    if (peek() == '.') {
      ++pos_;
      if (digits() == 0) return false;
      integral = false;
    }
    if (peek() == 'e' || peek() == 'E') {
      ++pos_;
      if (peek() == '+' || peek() == '-') ++pos_;
      if (digits() == 0) return false;
      integral = false;
    }
    const char* first = s_.data() + from;
    const char* last = s_.data() + pos_;
    if (integral) {
      const auto [end, ec] = std::from_chars(first, last, out.integer);
      if (ec == std::errc() && end == last) {
        out.kind = JsonKind::Integer;
        out.number = double(out.integer);
        return true;
      }
      out.integer = 0;
    }
    out.kind = JsonKind::Number;
    // Out of range is still a number (infinite); only the grammar decides what parses.
    std::from_chars(first, last, out.number);
    return true;
  }

  std::string_view s_;
  size_t pos_ = 0;
  size_t values_ = 0;
};

}  // namespace

const JsonValue* JsonValue::find(std::string_view name) const {
  if (kind != JsonKind::Object) return nullptr;
  for (auto it = members.rbegin(); it != members.rend(); ++it) {
    if (it->name == name) return &it->value;
  }
  return nullptr;
}

std::optional<std::string_view> JsonValue::string_at(std::string_view name) const {
  const JsonValue* v = find(name);
  if (!v || !v->is_string()) return std::nullopt;
  return std::string_view(v->text);
}

std::optional<JsonValue> json_parse(std::string_view text) { return JsonParser(text).document(); }

void json_escape_append(std::string& out, std::string_view text, const JsonEscape& how) {
  const size_t start = out.size();
  size_t i = 0;
  while (i < text.size()) {
    if (out.size() - start > how.cap) return;
    const char c = text[i];
    const size_t n = utf8_valid_length(text.substr(i));
    i += n == 0 ? 1 : n;
    if (n > 1) {
      out.append(text.substr(i - n, n));
    } else if (n == 0 && how.plain_text) {
      out.push_back('?');
    } else if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (static_cast<unsigned char>(c) >= 0x20) {
      out.push_back(c);
    } else if (!how.plain_text) {
      append_control_escape(out, c);
    } else if (c == '\n') {
      out.append("\\n");
    } else if (c == '\t') {
      out.push_back(' ');
    }
  }
}

void json_quote_append(std::string& out, std::string_view text) {
  out.push_back('"');
  json_escape_append(out, text);
  out.push_back('"');
}
