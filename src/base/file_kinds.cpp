#include "base/file_kinds.h"

#include <algorithm>
#include <array>

#include "base/utf8.h"

namespace {

constexpr uint8_t kBook = kViewScan | kViewDrop;
constexpr uint8_t kPagedBook = kViewScan | kViewDrop | kViewPageAdapter;

// Counted by the compiler: a row too many would be an empty one, the row of every name without
// an extension.
constexpr auto kFileKinds = std::to_array<FileKindRow>({
    {".epub", FileKind::epub, kBook},
    {".pdf", FileKind::pdf, kPagedBook},
    {".cbz", FileKind::cbz, kPagedBook},
    {".mobi", FileKind::mobi, kPagedBook},
    {".azw3", FileKind::mobi, kPagedBook},
    // Older Kindle files open when given by path but are not listed or taken from a drop.
    {".azw", FileKind::mobi, kViewPageAdapter},
    {".prc", FileKind::mobi, 0},
    {".fb2", FileKind::fb2, kPagedBook},
    {".txt", FileKind::txt, kPagedBook},
    {".xps", FileKind::xps, kViewPageAdapter},
    {".zip", FileKind::zip, kViewDrop},  // audiobook archives, unpacked after the drop
    {".mp3", FileKind::audio, kBook},
    {".m4b", FileKind::audio, kBook},
    {".m4a", FileKind::audio, kBook},
    {".ogg", FileKind::audio, kBook},
    {".oga", FileKind::audio, kBook},
    {".opus", FileKind::audio, kBook},
    {".flac", FileKind::audio, kBook},
    {".wav", FileKind::audio, kBook},
    {".aac", FileKind::audio, kBook},
});


// `text` starts with `lower` (already in lower case), ignoring the case of `text`.
bool starts_with_folded(std::string_view text, std::string_view lower) {
  return text.size() >= lower.size() &&
         std::equal(lower.begin(), lower.end(), text.begin(),
                    [](char l, char t) { return l == ascii_lower(t); });
}

bool has_view(std::string_view name, uint8_t view) {
  const FileKindRow* row = file_kind_row(name);
  return row && (row->views & view);
}

}  // namespace

std::span<const FileKindRow> file_kind_table() { return kFileKinds; }

std::string_view file_extension(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

const FileKindRow* file_kind_row(std::string_view name) {
  const std::string_view ext = file_extension(name);
  for (const FileKindRow& row : kFileKinds) {
    if (ext.size() == row.extension.size() && starts_with_folded(ext, row.extension)) return &row;
  }
  return nullptr;
}

bool is_listed_by_scan(std::string_view path) { return has_view(path, kViewScan); }

bool is_accepted_by_drop(std::string_view name) { return has_view(name, kViewDrop); }

bool is_for_page_adapter(std::string_view path) {
  const std::string_view ext = file_extension(path);
  return std::any_of(kFileKinds.begin(), kFileKinds.end(), [&](const FileKindRow& row) {
    return (row.views & kViewPageAdapter) && starts_with_folded(ext, row.extension);
  });
}

bool is_audio_extension(std::string_view name) {
  const FileKindRow* row = file_kind_row(name);
  return row && row->kind == FileKind::audio;
}
