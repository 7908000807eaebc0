// The chapter model that the MOBI, FB2 and text readers fill and the EPUB writer reads, with the
// small text helpers the readers share.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "book/convert/convert.h"

constexpr size_t kConvTitleMax = 299;
constexpr size_t kConvAuthorMax = 199;
constexpr size_t kConvLanguageMax = 8;
constexpr size_t kChapterTitleMax = 159;

struct ConvChapter {
  std::string title;  // empty: no entry in the contents
  std::string body;   // XHTML inside <body>
};

struct ConvImage {
  std::string name;  // "img%05d." and the sniffed extension
  std::string id;    // the reader's own name for it (FB2 binary id)
  std::string data;
};

struct ConvBook {
  std::string title, author, language;
  int cover = -1;  // index into pictures
  std::vector<ConvChapter> chapters;
  std::vector<ConvImage> pictures;

  // The new chapter's body (its title cut to kChapterTitleMax bytes on a character boundary).
  std::string& chapter_new(std::string_view title);
  // Index of the new picture, or -1 when its bytes are not a JPEG, PNG, GIF or BMP.
  int pic_add(uint32_t number, std::string data);
  // The first picture registered under the number, or nothing.
  const ConvImage* pic_name(uint32_t number) const;
};

// The whole file, or nothing when it cannot be opened, is empty or is larger than limit.
std::optional<std::string> slurp_file(const char* path, uint64_t limit);
// The file name after the last "/", cut at its last "." unless that dot is its first character.
std::string stem_of(std::string_view path);
// Removes an incomplete UTF-8 sequence at the end.
void utf8_trim(std::string& text);
// The text cut to at most max bytes, never inside a character.
std::string cut_text(std::string_view text, size_t max);
// Appends text with &, <, > and the double quote written as entities.
void append_escaped(std::string& out, std::string_view text);
// The raw value of a tag's attribute (cut to size - 1 bytes). The name matches case-insensitively
// at the tag's start or after white space or ":" (so "l:href" answers to "href").
std::optional<std::string> attr_of(std::string_view tag, std::string_view name, size_t size);
// The text of a markup fragment: tags and runs of control bytes and spaces become one space, a few
// entities are decoded, ends are trimmed; at most size - 2 bytes, never cut inside a character.
std::string plain_text(std::string_view html, size_t size);
// Case-insensitive search for an ASCII needle from `from`; npos when absent.
size_t find_nocase(std::string_view hay, std::string_view needle, size_t from = 0);
bool starts_nocase(std::string_view text, std::string_view prefix);

// The encoding an FB2 file declares in its first bytes (kEncodingAuto when it declares none).
uint32_t fb2_encoding(std::string_view file);

// The readers: each fills book from the file's bytes or returns its message.
std::optional<std::string> text_read(std::string_view file, std::string_view path, ConvBook& book);
std::optional<std::string> fb2_read(std::string_view file, std::string_view path, ConvBook& book);
std::optional<std::string> mobi_read(std::string_view file, std::string_view path, ConvBook& book);

// Writes the EPUB 2 file (device path), synced and renamed into place through a ".part" file.
// False leaves no part file and the old file untouched.
bool epub_write(const ConvBook& book, const std::string& path);
