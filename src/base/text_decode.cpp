#include "base/text_decode.h"

#include <array>

#include "base/byte_reader.h"
#include "base/utf8.h"

namespace {
constexpr uint32_t kReplacement = 0xFFFD;

// Windows-1252 for 0x80-0x9F. The five bytes the code page leaves undefined keep their own
// value (C1 controls), so every byte still maps to a character.
constexpr std::array<uint16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

// Windows-1251 for 0x80-0xBF (0xC0-0xFF are U+0410 onwards in order). 0x98 is undefined and
// keeps its own value.
constexpr std::array<uint16_t, 64> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88-8F
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98-9F
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0-A7
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8-AF
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0-B7
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8-BF
};

uint32_t cp1252_char(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) return kCp1252High[b - 0x80];
  return b;
}

uint32_t cp1251_char(unsigned char b) {
  if (b >= 0xC0) return 0x410 + (b - 0xC0);
  if (b >= 0x80) return kCp1251High[b - 0x80];
  return b;
}

template <class Map>
void append_code_page(std::string& out, std::string_view data, Map map) {
  out.reserve(out.size() + data.size());
  for (char c : data) {
    auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out += c;
    } else {
      append_utf8(out, map(b));
    }
  }
}

uint32_t unit_at(const ByteReader& units, size_t i, bool big_endian) {
  return big_endian ? units.u16be_at(i) : units.u16le_at(i);
}

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }
}  // namespace

bool is_well_formed_utf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t n = utf8_valid_length(text.substr(i));
    if (n == 0) return false;
    i += n;
  }
  return true;
}

void utf16_to_utf8(std::string& out, std::string_view units, bool big_endian) {
  out.reserve(out.size() + units.size() / 2 * 3);
  const ByteReader bytes(units);
  size_t i = 0;
  for (; units.size() - i >= 2; i += 2) {
    uint32_t u = unit_at(bytes, i, big_endian);
    if (u >= 0xD800 && u <= 0xDBFF && units.size() - i >= 4) {
      uint32_t next = unit_at(bytes, i + 2, big_endian);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00));
        i += 2;
        continue;
      }
    }
    // A surrogate that reaches here has no partner; its neighbour is decoded on its own.
    append_utf8(out, u >= 0xD800 && u <= 0xDFFF ? kReplacement : u);
  }
  if (i < units.size()) append_utf8(out, kReplacement);
}

void to_utf8(std::string& out, std::string_view data, uint32_t encoding) {
  if (starts_with(data, "\xEF\xBB\xBF")) {
    out.append(data.substr(3));
    return;
  }
  bool utf16_be = starts_with(data, "\xFE\xFF");
  if (utf16_be || starts_with(data, "\xFF\xFE")) {
    if (data.size() >= 4) utf16_to_utf8(out, data.substr(2), utf16_be);
    return;
  }
  if (encoding == kCodePageUtf8 || (encoding == kEncodingAuto && is_well_formed_utf8(data))) {
    out.append(data);
  } else if (encoding == kCodePage1251) {
    append_code_page(out, data, cp1251_char);
  } else {
    append_code_page(out, data, cp1252_char);
  }
}
