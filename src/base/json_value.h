// JSON documents the store script leaves (catalogue, checkout answer, invoice, order) parsed into a
// small tree, and JSON text written for it. The parser is strict (RFC 8259): anything malformed,
// trailing bytes included, gives no tree; nesting deeper than kJsonMaxDepth or more than
// kJsonMaxValues values are refused, so a hostile file can exhaust neither the stack nor memory
// (a full catalogue of 1200 items needs some 20,000 values).
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr size_t kJsonMaxDepth = 128;
constexpr size_t kJsonMaxValues = 500000;

enum class JsonKind : uint8_t { Null, Bool, Integer, Number, String, Array, Object };

struct JsonMember;

// One value. An integer is a number written without fraction or exponent that fits 64 bits; every
// other number is a Number (its value as a double).
struct JsonValue {
  JsonKind kind = JsonKind::Null;
  bool boolean = false;
  int64_t integer = 0;
  double number = 0;
  std::string text;                 // String
  std::vector<JsonValue> items;     // Array
  std::vector<JsonMember> members;  // Object, in file order, duplicate names kept

  bool is_object() const { return kind == JsonKind::Object; }
  bool is_string() const { return kind == JsonKind::String; }
  // The member named `name` of an object (the last one when the name repeats, as browsers and
  // servers read it); null when this is not an object or has no such member.
  const JsonValue* find(std::string_view name) const;
  // The member's text when it is a string; none when absent or of another kind.
  std::optional<std::string_view> string_at(std::string_view name) const;
};

struct JsonMember {
  std::string name;
  JsonValue value;
};

// The document in `text`; none when it is not exactly one well-formed JSON value (surrounded by
// optional white space) or exceeds the limits above.
std::optional<JsonValue> json_parse(std::string_view text);

// How json_escape_append writes a text.
struct JsonEscape {
  // Before each character the bytes written so far are compared with this; past it the text ends
  // there (an escape may carry it up to two bytes over), never inside a UTF-8 character.
  size_t cap = SIZE_MAX;
  // For readers that want clean text: a byte that is not part of a well-formed UTF-8 character
  // becomes "?", TAB a space, line feed stays "\n", and every other control byte is dropped.
  bool plain_text = false;
};

// Appends `text` as the inside of a JSON string: '"' and '\' escaped, control characters written
// \n, \r, \t, \b, \f or \u00XX (see `plain_text`); every other byte (UTF-8 included) as it is.
void json_escape_append(std::string& out, std::string_view text, const JsonEscape& how = {});
// The same with its quotes.
void json_quote_append(std::string& out, std::string_view text);
