// Turning text of a declared or detected encoding into UTF-8: the single-byte Windows code pages
// that old books use, UTF-16 with or without a byte-order mark, and the sniffing of an XML or
// XHTML document's own encoding declaration.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Encodings by their Windows code-page numbers (as book headers store them).
constexpr uint32_t kEncodingAuto = 0;   // UTF-8 when the text is well-formed UTF-8, else 1252
constexpr uint32_t kCodePage1251 = 1251;
constexpr uint32_t kCodePage1252 = 1252;  // also ISO 8859-1 and any number not listed here
constexpr uint32_t kCodePageUtf8 = 65001;

// Appends data to out as UTF-8. A byte-order mark decides first: after a UTF-8 mark the rest is
// appended unchanged; after a UTF-16 mark (FE FF or FF FE) the units are decoded, or nothing is
// appended when fewer than 4 bytes were given. Otherwise the encoding decides. Unpaired
// surrogates and a cut-off final unit become U+FFFD, so the output of UTF-16 and of the code
// pages is always valid UTF-8 (UTF-8 input is passed through as it is).
void to_utf8(std::string& out, std::string_view data, uint32_t encoding);
// Appends UTF-16 units (no mark) as UTF-8, with U+FFFD for unpaired surrogates and an odd byte.
void utf16_to_utf8(std::string& out, std::string_view units, bool big_endian);
// True when the text is strictly well-formed UTF-8: every lead byte followed by its continuation
// bytes within the text, no continuation byte alone, no overlong form, surrogate or value past
// U+10FFFF.
bool is_well_formed_utf8(std::string_view text);

// The text of an XML document (is_html: an XHTML one, whose head may name its charset) as
// UTF-8. A UTF-16 mark, or a UTF-16 XML declaration without one, selects UTF-16; a UTF-8 mark is
// dropped; a declared Latin-1, Windows-1252 or US-ASCII text is read as 1252 and a declared
// Windows-1251 text as 1251, unless its bytes are well-formed UTF-8 (a stale label on a
// re-encoded file). Anything else, undeclared documents included, is returned unchanged.
std::string document_to_utf8(std::string bytes, bool is_html);
