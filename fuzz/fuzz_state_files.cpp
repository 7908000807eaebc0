// The plain-text state files the program keeps between runs: a half-written, hand-edited or
// damaged file must load into values in their ranges, and what was loaded must survive a save and
// a load unchanged (else every start would drift the state a little further).
//
// Input: byte 0 picks the file (modulo 6): settings.txt, ui.txt, scan-cache.tsv, library.tsv,
// new-books.txt, or a text file read by lines (byte 1 then gives the tail size); the rest is the
// file.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "app/ui/app_state.h"
#include "app/ui/settings_file.h"
#include "app/ui/time_zones.h"
#include "app/ui/ui_state.h"
#include "base/text_lines.h"
#include "fuzz_support.h"
#include "library/progress_index.h"
#include "library/scan_cache.h"
#include "store/new_books.h"

namespace {

constexpr char kStateFolder[] = "/mnt/us/ql/state";
constexpr char kSettingsPath[] = "/mnt/us/ql/state/settings.txt";
constexpr char kScanCachePath[] = "/mnt/us/ql/state/scan-cache.tsv";
constexpr char kLinesPath[] = "/mnt/us/lines.txt";
// A record the scan-cache check puts in, so that a save has something to write.
constexpr std::string_view kMarkerPath = "/mnt/us/documents/fuzz-marker.epub";

std::string read_device_file(const char* path) {
  FilePtr f(qlp_fopen(path, "rb"));
  std::string bytes;
  char buf[4096];
  size_t got;
  while (f && (got = fread(buf, 1, sizeof buf, f.get())) > 0) bytes.append(buf, got);
  return bytes;
}

bool in(int32_t v, SettingRange r) { return v >= r.min && v <= r.max; }

bool same_settings(const SettingsRecord& a, const SettingsRecord& b) {
  return a.font == b.font && a.margin == b.margin && a.line == b.line && a.light == b.light &&
         a.wake_hour == b.wake_hour && a.wake_min == b.wake_min && strcmp(a.opds, b.opds) == 0 &&
         strcmp(a.morning, b.morning) == 0 && strcmp(a.bt, b.bt) == 0 && a.speed == b.speed &&
         a.sleeptimer == b.sleeptimer;
}

void check_settings(const uint8_t* data, size_t size) {
  fuzz::write_device_file(kSettingsPath, data, size);
  SettingsRecord first;
  qls_load(first);
  if (!in(first.font, kFontRange) || !in(first.margin, kMarginRange) || !in(first.line, kLineRange) ||
      !in(first.light, kLightRange) || !in(first.wake_hour, kWakeHourRange) ||
      !in(first.wake_min, kWakeMinRange) || !in(first.speed, kSpeedRange) ||
      !in(first.sleeptimer, kSleepTimerRange)) {
    __builtin_trap();
  }
  if (!qls_save(first)) __builtin_trap();
  SettingsRecord again;
  qls_load(again);
  if (!same_settings(first, again)) __builtin_trap();
}

bool same_ui(const UiState& a, const UiState& b) {
  return a.grid == b.grid && a.sort == b.sort && a.filter == b.filter && a.appearance == b.appearance &&
         a.tz == b.tz && a.sleep == b.sleep && a.cover == b.cover && a.refresh == b.refresh &&
         a.morning == b.morning && a.align == b.align && a.buy == b.buy && a.pq == b.pq &&
         a.foot == b.foot && a.land == b.land;
}

void check_ui(const uint8_t* data, size_t size) {
  fuzz::write_device_file(kUiStatePath, data, size);
  ui_state = UiState{};
  app.present.inverted = false;
  ui_state_load();
  const UiState first = ui_state;
  const bool inverted = app.present.inverted;
  if (first.sort > 2 || first.filter > 5 || first.appearance > 2 || first.tz >= time_zones.size() ||
      first.pq > 2 || first.foot > 3) {
    __builtin_trap();
  }
  if (!ui_save()) __builtin_trap();
  ui_state = UiState{};
  app.present.inverted = false;
  ui_state_load();
  if (!same_ui(first, ui_state) || app.present.inverted != inverted) __builtin_trap();
}

// Loads the scan cache from its file, touches the marker record so the cache is written, and
// gives the written file.
std::string scan_cache_cycle() {
  scan_cache_forget();
  sc_load();
  if (ScanCacheRecord* marker = sc_find(kMarkerPath)) {
    sc_replace(*marker, 1, 2, "Marker", "Fuzz");
  } else {
    sc_put(kMarkerPath, 1, 2, "Marker", "Fuzz");
  }
  sc_save();
  return read_device_file(kScanCachePath);
}

void check_scan_cache(const uint8_t* data, size_t size) {
  fuzz::write_device_file(kScanCachePath, data, size);
  const std::string written = scan_cache_cycle();
  if (scan_cache_cycle() != written) __builtin_trap();
  scan_cache_forget();
}

void check_library_index(const uint8_t* data, size_t size) {
  fuzz::write_device_file(kLibraryIndexPath, data, size);
  library_index_load();
  const size_t count = progress.count;
  if (count > kMaxProgressRecords) __builtin_trap();
  static ProgressIndex first;
  for (size_t i = 0; i < count; ++i) {
    if (memchr(progress.records[i].name, '\0', sizeof progress.records[i].name) == nullptr) __builtin_trap();
    first.records[i] = progress.records[i];
  }
  library_index_save();
  library_index_load();
  if (progress.count != count) __builtin_trap();
  for (size_t i = 0; i < count; ++i) {
    const ProgressRecord &a = first.records[i], &b = progress.records[i];
    if (strcmp(a.name, b.name) != 0 || a.percent != b.percent || a.read != b.read) __builtin_trap();
  }
  progress.count = 0;
}

bool trimmed(std::string_view s) { return !s.empty() && trimmed_length(s) == s.size(); }

void check_new_books(const uint8_t* data, size_t size) {
  fuzz::write_device_file(kNewBooksPath, data, size);
  new_books.loaded = false;
  new_books_load();
  if (new_books.count > kNewBooksMax) __builtin_trap();
  for (size_t i = 0; i < new_books.count; ++i) {
    if (new_book_name(i).size() > kNewBookNameMax) __builtin_trap();
  }
  new_books = NewBooks{};
}

void check_text_lines(const uint8_t* data, size_t size) {
  if (size < 1) return;
  fuzz::write_device_file(kLinesPath, data + 1, size - 1);
  std::array<TextLine, 8> lines;
  std::array<std::string_view, 8> spans;
  const long tail = data[0] < 128 ? 0 : long(data[0] - 127) * 16;
  const size_t n = text_read_lines(kLinesPath, lines, spans, tail);
  if (n > lines.size()) __builtin_trap();
  for (size_t i = 0; i < n; ++i) {
    if (!trimmed(spans[i]) || spans[i].data() != lines[i].data() || spans[i].size() >= kTextLineSize) {
      __builtin_trap();
    }
  }
}

void write_seeds() {
  fuzz::write_seed("settings", std::string("\x00", 1) +
                                   "font=48\nmargin=40\nline=120\nlight=7\nwake=06:45\n"
                                   "opds=https://example.org/feed\nmorning=\nbt=00:11:22:33:44:55\n"
                                   "speed=150\nsleeptimer=30\n");
  fuzz::write_seed("ui", "\x01grid=1\nsort=2\nfilter=5\nnight=1\nappearance=2\ntz=3\nsleep=5\ncover=0\n"
                         "refresh=6\nmorning=0\nalign=1\nland=1\nfoot=2\npq=0\nbuy=1\n");
  fuzz::write_seed("scan", "\x02/mnt/us/documents/a.epub\t1700000000\t12345\tA \\t Title\tAn Author\n"
                           "/mnt/us/documents/b\\\\c.mobi\t-5\t0\t\t\n");
  fuzz::write_seed("library", "\x03" "a.epub\t42\t0\nb\\tc.pdf\t100\t1\nbroken\n");
  fuzz::write_seed("new", "\x04new book.epub\n\n  \nother.pdf\r\n");
  fuzz::write_seed("lines", "\x05\x90" "first line\nsecond  \r\n\n" + std::string(200, 'x') + "\nlast");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::begin(write_seeds);
  setenv("QUILLO_STATE", kStateFolder, 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t* file = data + 1;
  const size_t n = size - 1;
  switch (data[0] % 6) {
    case 0: check_settings(file, n); break;
    case 1: check_ui(file, n); break;
    case 2: check_scan_cache(file, n); break;
    case 3: check_library_index(file, n); break;
    case 4: check_new_books(file, n); break;
    default: check_text_lines(file, n); break;
  }
  return 0;
}
