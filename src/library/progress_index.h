// The reading-progress index: how far each book has been read and whether it is finished, keyed
// by the book's file name and kept in library.tsv. Also the one step that puts all state on disk
// before the process may end or a screen is left for long, and leaving a book for the library.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

constexpr size_t kProgressNameMax = 199;
constexpr size_t kMaxProgressRecords = 3000;
constexpr char kLibraryIndexPath[] = "/mnt/us/ql/state/library.tsv";

struct ProgressRecord {
  char name[kProgressNameMax + 1];  // the book's file name, cut to 199 bytes; the key
  uint8_t percent;                  // 0..100 as recorded here (a loaded file may hold up to 255)
  uint8_t read;                     // 1 when the book is finished
};

// Records in the order books were first seen; never removed. A book that finds the table full
// gets the scratch record, zeroed for it and never saved.
struct ProgressIndex {
  std::array<ProgressRecord, kMaxProgressRecords> records{};
  size_t count = 0;
  ProgressRecord scratch{};
};
// Only the core thread touches it (see app_assert_core).
extern ProgressIndex progress;

// The record of a file name (cut to 199 bytes, compared byte for byte), or null.
ProgressRecord* library_find_record(const char* name, size_t length);
// The record of a file name, appended zeroed when there is none, or the zeroed scratch record
// when the table is full (so no book ever shows another book's values).
ProgressRecord& library_record_for(const char* name, size_t length);

// Saves the open book's reading position and updates its record; true when the percent or the
// read flag changed. False when no book is open.
bool library_record_progress();
// Replaces library.tsv with the whole table; a failed write keeps the old file.
void library_index_save();
// Reads library.tsv into the table (once at start); a missing file leaves it empty.
void library_index_load();

// The open book's progress (when a book is open), library.tsv, settings.txt and ui.txt, in that
// order.
void app_persist_all();
// app_persist_all, then the next frame is a full refresh.
void app_persist_all_and_refresh();
// Leaves the open book for the library: saves its progress when it changed, puts it first in the
// Recent order and rebuilds the view list. The book stays loaded for a quick reopen.
void book_close();
// Marks the open book finished (percent 100, read flag) in its record, appended when it has none,
// and saves the index.
void book_mark_read();
