// The tolerant tag scanner every XML reader of the book engine uses (container, package,
// navigation and XHTML documents), with its attribute reader, entity decoder and the member path
// normaliser. No DOM and no validation: a damaged document yields what could be scanned.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

constexpr size_t kTagNameMax = 79;
constexpr size_t kPathMax = 4095;
constexpr size_t kPathSegmentsMax = 256;

// One scan over a NUL-terminated document (the document must outlive the scanner).
struct XmlScanner {
  const char* cursor;        // where the next search for "<" begins
  const char* tag_end;       // the current tag's ">"
  const char* text;          // the text run before the current tag
  size_t text_len;
  std::string_view name;     // local name (after the last ":"), at most 79 bytes; empty for
                             // comments and CDATA
  bool closing;              // an end tag
  bool self_closing;         // "/" before ">"
  const char* attrs;         // where the attributes of the current tag begin

  explicit XmlScanner(const char* document)
      : cursor(document), tag_end(document), text(document), text_len(0), closing(false),
        self_closing(false), attrs(document) {}
  std::string_view text_run() const { return {text, text_len}; }
  // The text from the end of the current tag up to the next "<" (or the end).
  std::string_view text_after() const;
};

// Moves to the next tag. False at the end of the document.
bool nexttag(XmlScanner& s);
// The entity-decoded value of the current tag's attribute (name compared exactly, prefix
// included), cut to size - 1 bytes; nothing when the tag has no such quoted attribute.
std::optional<std::string> attr(const XmlScanner& s, std::string_view name, size_t size);
// Whether the current tag has the attribute, with a value or without one ("hidden").
bool has_attr(const XmlScanner& s, std::string_view name);
// What "&nbsp;" decodes to: a plain space (titles, labels, feeds, dictionary text), or U+00A0,
// which the word reader keeps to tie the words on either side.
enum class Nbsp : uint8_t { Space, NoBreak };
// Replaces character references: numeric ones and every HTML named one. Unknown or unterminated
// references stay as written.
std::string decode(std::string_view text, Nbsp nbsp = Nbsp::Space);
// True when the text holds a "&" (so decode() could change it).
inline bool needs_decode(std::string_view text) { return text.find('&') != std::string_view::npos; }
// Joins a folder (ending in "/", or empty) and an href into a member path: the fragment and query
// are dropped, %XX escapes decoded, "." and empty segments dropped, ".." goes up (never above the
// root). At most 256 segments; no leading "/".
std::string normpath(std::string_view base, std::string_view href);
// The folder of a member path, with its trailing "/" (empty at the root).
std::string_view path_folder(std::string_view path);
