#include "app/reader/layout_cache.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

#include "app/ui/app_state.h"
#include "base/atomic_file.h"
#include "base/byte_reader.h"
#include "base/paths.h"
#include "base/wyhash.h"
#include "display/framebuffer.h"

namespace {
// The layout key's hash starts from this internal state instead of a mixed seed.
constexpr uint64_t kLayoutKeyState = 0xad5bdefb69d8a063ull;
constexpr char kMagic[4] = {'Q', 'L', 'A', 'Y'};
constexpr size_t kHeaderBytes = 24;
constexpr size_t kRecordBytes = 24;
constexpr size_t kPageStartBytes = 4;
constexpr size_t kRecordsPerRead = 1024;
// A line's width is at most a lone word of the longest piece at the largest size; anything near
// this is damage, not layout.
constexpr float kMaxLineWidth = 1.0e6f;
// A line's y lies on the page; a text size larger than the page may push a lone line below it.
constexpr float kMaxPagesTall = 4;

void put_u32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void put_u16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void put_u64(uint8_t* p, uint64_t v) {
  put_u32(p, static_cast<uint32_t>(v));
  put_u32(p + 4, static_cast<uint32_t>(v >> 32));
}
void put_f32(uint8_t* p, float f) { put_u32(p, std::bit_cast<uint32_t>(f)); }

bool is_sane(float v, float lo, float hi) { return std::isfinite(v) && v >= lo && v <= hi; }

// Whether `off` lies strictly inside the word's text.
bool inside_word(const char* text, uint32_t off) { return strnlen(text, size_t{off} + 1) > off; }

// Checks one line against the book and the line before it, so that drawing and hit tests can
// index words and offsets without further checks.
bool line_fits_book(const LayoutLine& line, const LayoutLine* prev, std::span<const BookWord> words,
                    float screen_h) {
  if (line.word_from >= line.word_to || line.word_to > words.size()) return false;
  if (line.gaps > line.word_to - line.word_from) return false;
  if (!is_sane(line.y, 0, kMaxPagesTall * screen_h) || !is_sane(line.width, 0, kMaxLineWidth))
    return false;
  const BookWord& first = words[line.word_from];
  if (first.style == STYLE_PICTURE &&
      (line.word_to != line.word_from + 1 || line.start_off != 0 || line.cut_off != 0)) {
    return false;
  }
  if (line.start_off != 0 && !inside_word(first.text, line.start_off)) return false;
  if (line.bare_cut && line.cut_off == 0) return false;
  if (line.cut_off != 0) {
    if (!inside_word(words[line.word_to - 1].text, line.cut_off)) return false;
    if (line.word_to - 1 == line.word_from && line.cut_off <= line.start_off) return false;
  }
  // Lines follow the words in order; a cut word continues at the start of the next line.
  const bool continues = prev && prev->cut_off != 0;
  if (continues) {
    return line.word_from == prev->word_to - 1 && line.start_off == prev->cut_off;
  }
  return line.start_off == 0 && (!prev || line.word_from >= prev->word_to);
}

LayoutLine decode_line(ByteReader r) {
  LayoutLine line{};
  line.word_from = r.u32le();
  line.word_to = r.u32le();
  line.y = std::bit_cast<float>(r.u32le());
  line.width = std::bit_cast<float>(r.u32le());
  line.gaps = r.u16le();
  line.start_off = r.u16le();
  line.cut_off = r.u16le();
  line.justify = r.u8() != 0;
  line.bare_cut = r.u8() != 0;
  return line;
}

void encode_line(uint8_t* r, const LayoutLine& line) {
  memset(r, 0, kRecordBytes);
  put_u32(r, static_cast<uint32_t>(line.word_from));
  put_u32(r + 4, static_cast<uint32_t>(line.word_to));
  put_f32(r + 8, line.y);
  put_f32(r + 12, line.width);
  put_u16(r + 16, static_cast<uint16_t>(std::min<uint64_t>(line.gaps, 65535)));
  put_u16(r + 18, line.start_off);
  put_u16(r + 20, line.cut_off);
  r[22] = line.justify ? 1 : 0;
  r[23] = line.bare_cut ? 1 : 0;
}

bool read_lines(FILE* f, uint32_t n, std::span<const BookWord> words, int32_t screen_h,
                PageTable& into) {
  uint8_t buf[kRecordsPerRead * kRecordBytes];
  const LayoutLine* prev = nullptr;
  for (uint32_t done = 0; done < n;) {
    const size_t batch = std::min<size_t>(kRecordsPerRead, n - done);
    if (fread(buf, kRecordBytes, batch, f) != batch) return false;
    for (size_t j = 0; j < batch; ++j) {
      const LayoutLine line = decode_line(ByteReader(buf + j * kRecordBytes, kRecordBytes));
      if (!line_fits_book(line, prev, words, static_cast<float>(screen_h))) return false;
      into.lines.push_back(line);
      prev = &into.lines.back();
    }
    done += static_cast<uint32_t>(batch);
  }
  // A word cut at the end of the last line would have no line for its rest.
  return into.lines.back().cut_off == 0;
}

bool read_page_starts(FILE* f, uint32_t p, uint32_t n, PageTable& into) {
  uint8_t buf[kPageStartBytes * 1024];
  for (uint32_t done = 0; done < p;) {
    const size_t batch = std::min<size_t>(1024, p - done);
    if (fread(buf, kPageStartBytes, batch, f) != batch) return false;
    ByteReader starts(buf, batch * kPageStartBytes);
    for (size_t j = 0; j < batch; ++j) {
      const uint32_t start = starts.u32le();
      const bool ok =
          into.page_starts.empty() ? start == 0 : start < n && start > into.page_starts.back();
      if (!ok) return false;
      into.page_starts.push_back(start);
    }
    done += static_cast<uint32_t>(batch);
  }
  return true;
}

bool read_layout(FILE* f, uint64_t key, std::span<const BookWord> words, int32_t screen_h,
                 PageTable& into) {
  uint8_t header[kHeaderBytes];
  if (fread(header, 1, kHeaderBytes, f) != kHeaderBytes) return false;
  ByteReader h(header, kHeaderBytes);
  if (h.text(sizeof kMagic) != std::string_view(kMagic, sizeof kMagic)) return false;
  const uint32_t n = h.u32le();
  const uint32_t p = h.u32le();
  if (h.u32le() != kLayoutFormat || h.u64le() != key) return false;
  if (n == 0 || n > kMaxLayoutLines || p == 0 || p > n) return false;
  // The file must hold exactly what the header claims before anything is reserved for it.
  struct stat st;
  if (fstat(fileno(f), &st) != 0) return false;
  const uint64_t expected =
      kHeaderBytes + uint64_t{n} * kRecordBytes + uint64_t{p} * kPageStartBytes;
  if (static_cast<uint64_t>(st.st_size) != expected) return false;
  try {
    into.lines.reserve(n);
    into.page_starts.reserve(p);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return read_lines(f, n, words, screen_h, into) && read_page_starts(f, p, n, into);
}
}  // namespace

uint64_t layout_key_of(const LayoutKeyInputs& in) {
  auto sign_extended = [](int32_t v) { return static_cast<uint64_t>(static_cast<int64_t>(v)); };
  WyhashStream h = WyhashStream::from_state(kLayoutKeyState);
  h.update_u64(in.book_stamp);
  h.update(in.font_name);
  h.update_u64(sign_extended(in.font_px));
  h.update_u64(sign_extended(in.margin_px));
  h.update_u64(sign_extended(in.line_pct));
  h.update_u64(in.align ? 1 : 0);
  h.update_u64(sign_extended(in.screen_w));
  h.update_u64(sign_extended(in.screen_h));
  h.update_u64(in.word_count);
  h.update(in.language);
  return h.final();
}

uint64_t layout_key() {
  LayoutKeyInputs in;
  in.book_stamp = app.reader.book_stamp;
  in.font_name = std::string_view(app.reader.font_name,
                                  strnlen(app.reader.font_name, sizeof app.reader.font_name));
  in.font_px = layout.font_px;
  in.margin_px = layout.margin_px;
  in.line_pct = layout.line_pct;
  in.align = layout.align;
  in.screen_w = ql_fb().width;
  in.screen_h = ql_fb().height;
  in.word_count = ql_word_count();
  in.language = ql_language();
  return layout_key_of(in);
}

std::string layout_cache_path() {
  const std::string_view path(app.reader.open_path,
                              strnlen(app.reader.open_path, sizeof app.reader.open_path));
  return std::string(kLayoutFolder) + "/" + cache_key_hex(CacheKey(path)) + ".lay";
}

bool layout_file_read(const char* path, uint64_t key, std::span<const BookWord> words,
                      int32_t screen_h, PageTable& into) {
  into.lines.clear();
  into.page_starts.clear();
  FilePtr f{qlp_fopen(path, "rb")};
  if (f && read_layout(f.get(), key, words, screen_h, into)) return true;
  into.lines.clear();
  into.page_starts.clear();
  return false;
}

bool layout_file_write(const char* path, const PageTable& table) {
  const size_t n = table.lines.size();
  const size_t p = table.page_starts.size();
  // The reader refuses such a table, so it is not worth a file.
  if (n == 0 || n > kMaxLayoutLines || p == 0 || p > n) return false;
  char tmp[kTmpPathSize];
  path_with_tmp_suffix(tmp, path);
  FILE* f = file_create_new(tmp);
  if (!f) return false;
  uint8_t header[kHeaderBytes];
  memcpy(header, kMagic, sizeof kMagic);
  put_u32(header + 4, static_cast<uint32_t>(n));
  put_u32(header + 8, static_cast<uint32_t>(p));
  put_u32(header + 12, kLayoutFormat);
  put_u64(header + 16, table.key);
  fwrite(header, 1, sizeof header, f);
  uint8_t record[kRecordBytes];
  for (const LayoutLine& line : table.lines) {
    encode_line(record, line);
    fwrite(record, 1, sizeof record, f);
  }
  for (uint64_t start : table.page_starts) {
    uint8_t b[kPageStartBytes];
    put_u32(b, static_cast<uint32_t>(start));
    fwrite(b, 1, sizeof b, f);
  }
  return file_commit(f, tmp, path);  // a short write shows as a stream error there
}

bool layout_cache_load() {
  ++layout.generation;
  const uint64_t key = layout_key();
  const std::span<const BookWord> words(ql_words(), ql_word_count());
  if (layout_file_read(layout_cache_path().c_str(), key, words, ql_fb().height, layout)) {
    layout.key = key;
    return true;
  }
  const bool ok = layout_paginate(layout.font_px);
  app.reader.layout_dirty = true;
  return ok;
}

void layout_cache_write() {
  app.reader.layout_dirty = false;
  // The folders exist after start-up; made here too so a write never depends on that order.
  for (const char* folder : {"/mnt/us/ql", "/mnt/us/ql/state", kLayoutFolder})
    qlp_mkdir(folder, 0755);
  layout_file_write(layout_cache_path().c_str(), layout);  // a failed write keeps the old file
}

void relayout_keep_position() {
  if (!app.reader.book_open || ql_is_pdf()) return;
  const uint64_t word = layout.page_first_word(app.reader.page);
  const bool had_back = app.reader.back_valid;
  const uint64_t back_word = had_back ? layout.page_first_word(app.reader.back_page) : 0;
  // Out of memory leaves what was laid out; the page search below copes with any table.
  (void)layout_cache_load();
  app.reader.page = layout_page_of_word(word);
  app.reader.back_valid = had_back;
  app.reader.back_page = had_back ? layout_page_of_word(back_word) : 0;
}
