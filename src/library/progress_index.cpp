#include "library/progress_index.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "app/reader/paginator.h"
#include "app/ui/app_state.h"
#include "app/ui/settings_file.h"
#include "app/ui/ui_state.h"
#include "base/atomic_file.h"
#include "base/number_parse.h"
#include "base/paths.h"
#include "base/sync_later.h"
#include "base/text_lines.h"
#include "base/tsv_field.h"
#include "book/annotations.h"
#include "book/book_model.h"
#include "library/document_scan.h"
#include "library/library_view.h"

ProgressIndex progress;

namespace {

constexpr uint8_t kMaxLoadedPercent = 255;

// The name as a record keeps it: cut to 199 bytes and at a NUL, which only a damaged library.tsv
// holds; a key longer than the stored name would never find its record and make duplicates.
std::string_view key_of(const char* name, size_t length) {
  return std::string_view(name, strnlen(name, std::min(length, kProgressNameMax)));
}

void set_name(ProgressRecord& r, std::string_view key) {
  memcpy(r.name, key.data(), key.size());
  r.name[key.size()] = '\0';
}

// Percent of a loaded line: 0..255, "+" and "_" between digits accepted; anything else 0.
uint8_t parse_percent(std::string_view text) {
  std::optional<uint32_t> v = parse_unsigned(text);
  return v && *v <= kMaxLoadedPercent ? static_cast<uint8_t>(*v) : 0;
}

// "name\tpercent\tread" with trailing spaces and line ends already removed.
void load_line(std::string_view line) {
  size_t tab = line.find('\t');
  const std::string name = tsv_unescape(line.substr(0, tab));
  std::string_view percent, read;
  if (tab != std::string_view::npos) {
    line.remove_prefix(tab + 1);
    tab = line.find('\t');
    percent = line.substr(0, tab);
    if (tab != std::string_view::npos) read = line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
  }
  ProgressRecord& r = library_record_for(name.data(), name.size());
  r.percent = parse_percent(percent);
  r.read = read == "1" ? 1 : 0;
}

// The position the reader would reopen at: the PDF page, or the first word of the text page.
uint64_t open_book_position(bool pdf) {
  return pdf ? app.reader.page : layout.page_first_word(app.reader.page);
}

uint64_t open_book_pages(bool pdf) {
  return pdf ? static_cast<uint64_t>(std::max(ql_page_count(), 0)) : layout.page_count();
}

}  // namespace

ProgressRecord* library_find_record(const char* name, size_t length) {
  const std::string_view key = key_of(name, length);
  for (size_t i = 0; i < progress.count; i++) {
    ProgressRecord& r = progress.records[i];
    if (std::string_view(r.name) == key) return &r;
  }
  return nullptr;
}

ProgressRecord& library_record_for(const char* name, size_t length) {
  if (ProgressRecord* found = library_find_record(name, length)) return *found;
  ProgressRecord& r =
      progress.count < kMaxProgressRecords ? progress.records[progress.count++] : progress.scratch;
  r = ProgressRecord{};
  set_name(r, key_of(name, length));
  return r;
}

bool library_record_progress() {
  app_assert_core();
  if (!app.reader.book_open) return false;
  app.reader.position_dirty = false;
  const bool pdf = ql_is_pdf() != 0;
  ql_save_position(app.reader.open_path, open_book_position(pdf), layout.font_px);
  const uint64_t total = open_book_pages(pdf);
  const std::string_view name = path_file_name(app.reader.open_path);
  ProgressRecord& r = library_record_for(name.data(), name.size());
  const uint8_t old_percent = r.percent, old_read = r.read;
  const uint64_t p = total > 1 ? (app.reader.page + 1) * 100 / total : 100;
  if (p < 100) {
    r.percent = static_cast<uint8_t>(p);
    return r.percent != old_percent;
  }
  r.percent = 100;
  r.read = 1;
  return r.percent != old_percent || r.read != old_read;
}

void library_index_save() {
  app_assert_core();
  std::string text;
  for (size_t i = 0; i < progress.count; i++) {
    const ProgressRecord& r = progress.records[i];
    tsv_escape_append(text, r.name);
    text += '\t' + std::to_string(r.percent) + (r.read ? "\t1\n" : "\t0\n");
  }
  file_update_atomic(kLibraryIndexPath, text.data(), text.size());
}

void library_index_load() {
  progress.count = 0;
  text_each_line(kLibraryIndexPath, [](std::string_view line) {
    line = line.substr(0, trimmed_length(line));
    if (!line.empty()) load_line(line);
    return true;
  });
}

void app_persist_all() {
  if (app.reader.book_open) library_record_progress();
  library_index_save();
  qls_save(settings);
  ui_save();
  sync_pending_now();  // the renames of the last saves reach the disk before the program ends
}

void app_persist_all_and_refresh() {
  app_persist_all();
  app.present.clean = false;
}

void book_close() {
  if (library_record_progress()) library_index_save();
  const std::string_view name = path_file_name(app.reader.open_path).substr(0, kClosedNameMax);
  memcpy(library.closed_name, name.data(), name.size());
  library.closed_name[name.size()] = '\0';
  library_rebuild_view();
  app.present.clean = false;
  app.view = AppView::Library;
}

void book_mark_read() {
  const std::string_view name = path_file_name(app.reader.open_path);
  ProgressRecord& record = library_record_for(name.data(), name.size());
  record.percent = 100;
  record.read = 1;
  library_index_save();
}
