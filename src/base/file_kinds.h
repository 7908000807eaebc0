// The one table of file kinds the program knows by name, and the views its callers take of it:
// what the library scan lists, what a drop on the window (or the file chooser) accepts, what the
// book engine's door hands to the page adapter, and what the audio player plays.
//
// A name's extension is the text from its last "." (in a path that dot may lie in a folder's
// name, and such an extension matches nothing), compared without regard to ASCII case.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

enum class FileKind : uint8_t { epub, pdf, cbz, mobi, fb2, txt, xps, zip, audio };

// The kind of a library entry as the scan records it; covers and the library screen choose by it.
enum ScanKind : uint32_t { KIND_EPUB = 0, KIND_AUDIO = 1, KIND_PDF = 2, KIND_OTHER_BOOK = 3 };

// The views a row belongs to, as bits.
enum FileKindView : uint8_t {
  kViewScan = 1,         // the library scan lists it
  kViewDrop = 2,         // a drop or the file chooser takes it
  kViewPageAdapter = 4,  // the book engine hands it to the page adapter
};

struct FileKindRow {
  std::string_view extension;  // with its dot, in lower case
  FileKind kind;
  uint8_t views;
};

std::span<const FileKindRow> file_kind_table();
// The text from the last "." of `name`; empty when it has none.
std::string_view file_extension(std::string_view name);
// The row of `name`'s extension, or null when it is none of ours.
const FileKindRow* file_kind_row(std::string_view name);

bool is_listed_by_scan(std::string_view path);
bool is_accepted_by_drop(std::string_view name);
// Matched on the start of the extension: "x.azw4" goes to the adapter (and its refusal) too,
// rather than to the EPUB reader.
bool is_for_page_adapter(std::string_view path);
// The player opens these and follows on only to parts that carry one of them.
bool is_audio_extension(std::string_view name);
