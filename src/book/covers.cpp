// Book covers at three levels: a small memory cache of scaled covers, per-size thumbnail files and
// one full-size cover file per book, so a redraw seldom opens a book.
#include "book/covers.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "base/atomic_file.h"
#include "base/file_kinds.h"
#include "base/paths.h"
#include "base/wyhash.h"
#include "book/convert/convert.h"
#include "book/epub.h"
#include "book/pdf_adapter.h"
#include "display/images.h"

namespace {
constexpr size_t kCoverSlots = 12;
constexpr size_t kPathCut = 4095;  // longer paths are cut before the extractor sees them

struct CoverSlot {
  uint64_t key = 0;
  std::unique_ptr<uint8_t[]> pixels;
  uint64_t size = 0;
  uint32_t w = 0;
  uint32_t h = 0;
  uint32_t stamp = 0;
};

struct CoverCache {
  std::array<CoverSlot, kCoverSlots> slots;
  uint32_t use_counter = 0;
};
CoverCache cache;
bool keep_files = true;

std::string cover_file(uint64_t key) {
  return std::string(kCoversFolder) + "/" + cache_key_hex(key) + ".c";
}

std::string thumbnail_file(uint64_t key, uint32_t w, uint32_t h) {
  return std::string(kCoversFolder) + "/" + cache_key_hex(key) + "-" + std::to_string(w) + "x" +
         std::to_string(h) + ".g";
}

// Modification time of a file, or -1 when it cannot be read.
int64_t modified_at(const char* path) {
  struct stat st {};
  if (qlp_stat(path, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_mtime);
}

// How a cover file answered.
enum class FileRead { Absent, NoCover, Pixels };

// Reads a cover file of exactly `length` bytes into `out`. An empty file is the "no cover" mark,
// except when the book has changed since it was written: a book that was still being copied
// while its cover was first looked for deserves another try.
FileRead read_cover_file(const std::string& file, const char* book, uint8_t* out, size_t length) {
  FilePtr f(qlp_fopen(file.c_str(), "rb"));
  if (!f) return FileRead::Absent;
  const size_t got = fread(out, 1, length, f.get());
  if (got == 0 && length > 0) {
    f.reset();
    const int64_t mark = modified_at(file.c_str());
    const int64_t changed = modified_at(book);
    return changed > mark ? FileRead::Absent : FileRead::NoCover;
  }
  if (got != length || fgetc(f.get()) != EOF) return FileRead::Absent;
  return FileRead::Pixels;
}

bool write_cover_file(const std::string& file, const uint8_t* bytes, size_t length) {
  if (!keep_files) return false;
  qlp_mkdir(kCoversFolder, 0755);
  return file_write_atomic(file.c_str(), bytes, length);
}

// Books whose covers this build can take out of the file itself: EPUBs, PDFs and comics (their
// first page), and the converted kinds (through the EPUB they become).
bool can_extract(uint32_t kind, const std::string& path) {
  if (kind == KIND_EPUB || kind == KIND_PDF) return true;
  const FileKindRow* row = file_kind_row(path);
  return kind == KIND_OTHER_BOOK && row && (row->kind == FileKind::cbz || kind_of(path) != ConvKind::none);
}
}  // namespace

int32_t cover_get(const char* path, size_t path_length, uint32_t kind, uint32_t w, uint32_t h,
                  uint8_t* out, size_t out_length, bool allow_extract) {
  const uint64_t bytes = uint64_t{w} * h;
  if (out_length < bytes) return 0;
  const std::string book(path, std::min(path_length, kPathCut));
  const uint64_t key = CacheKey(std::string_view(path, path_length));

  for (CoverSlot& slot : cache.slots) {
    if (slot.pixels && slot.key == key && slot.w == w && slot.h == h) {
      slot.stamp = ++cache.use_counter;
      memcpy(out, slot.pixels.get(), bytes);
      return 1;
    }
  }

  // The thumbnail of this size first, then the full cover scaled down.
  FileRead found = read_cover_file(thumbnail_file(key, w, h), book.c_str(), out, bytes);
  std::unique_ptr<uint8_t[]> full;
  const std::string file = cover_file(key);
  const int sw = static_cast<int>(w), sh = static_cast<int>(h);
  if (found == FileRead::Absent) {
    full.reset(new (std::nothrow) uint8_t[kCoverBytes]);
    if (!full) return 0;
    found = read_cover_file(file, book.c_str(), full.get(), kCoverBytes);
    if (found == FileRead::Pixels) ql_scale_gray(full.get(), kCoverWidth, kCoverHeight, out, sw, sh);
  }
  switch (found) {
    case FileRead::Pixels:
      cover_cache_put(key, w, h, out, bytes);
      return 1;
    case FileRead::NoCover:
      return 0;
    case FileRead::Absent:
      break;
  }

  if (kind == KIND_AUDIO || !can_extract(kind, book)) return 0;
  if (!allow_extract) return -1;

  const int extracted = kind == KIND_EPUB ? ql_epub_cover(book.c_str(), full.get(), kCoverWidth, kCoverHeight)
                                          : qlpdf_cover(book.c_str(), full.get(), kCoverWidth, kCoverHeight);
  if (extracted == 1) {
    write_cover_file(file, full.get(), kCoverBytes);
    ql_scale_gray(full.get(), kCoverWidth, kCoverHeight, out, sw, sh);
    cover_cache_put(key, w, h, out, bytes);
    return 1;
  }
  // A book that vanished gets no mark, so it is tried again if it comes back.
  static constexpr uint8_t kNothing = 0;
  if (modified_at(book.c_str()) >= 0) write_cover_file(file, &kNothing, 0);
  return 0;
}

void cover_cache_put(uint64_t key, uint32_t w, uint32_t h, const uint8_t* pixels, size_t length) {
  CoverSlot* slot = nullptr;
  for (CoverSlot& s : cache.slots) {
    if (!s.pixels) {
      slot = &s;
      break;
    }
  }
  if (!slot) {
    slot = &*std::min_element(cache.slots.begin(), cache.slots.end(),
                              [](const CoverSlot& a, const CoverSlot& b) { return a.stamp < b.stamp; });
  }
  if (!slot->pixels || slot->size != length) {
    slot->pixels.reset(new (std::nothrow) uint8_t[length == 0 ? 1 : length]);
    slot->size = slot->pixels ? length : 0;
    if (!slot->pixels) return;
  }
  if (length > 0) memcpy(slot->pixels.get(), pixels, length);
  slot->key = key;
  slot->w = w;
  slot->h = h;
  slot->stamp = ++cache.use_counter;
}

void cover_cache_clear() {
  for (CoverSlot& slot : cache.slots) slot = CoverSlot{};
  cache.use_counter = 0;
}

void cover_files_keep(bool keep) { keep_files = keep; }
