#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "base/held_files.h"
#include "base/paths.h"
#include "book/annotations.h"
#include "book/book_model.h"

namespace {
constexpr uint64_t kFnvOffset = 0xcbf29ce484222325ULL;
constexpr uint64_t kFnvPrime = 0x100000001b3ULL;

std::string position_file(const char* path) {
  return state_folder() + "/" + book_path_key(path ? path : "") + ".pos";
}
}  // namespace

uint64_t book_path_hash(std::string_view path) {
  uint64_t h = kFnvOffset;
  for (unsigned char c : path) {
    h ^= c;
    h *= kFnvPrime;
  }
  return h;
}

std::string book_path_key(std::string_view path) {
  char key[17];
  snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(book_path_hash(path)));
  return key;
}

std::string state_folder() {
  const char* dir = getenv("QUILLO_STATE");
  return dir ? dir : "/mnt/us/ql/state";
}

bool marks_word_numbering(const char* text) {
  unsigned numbering = 0;
  return sscanf(text, " WN %u", &numbering) == 1 && numbering >= kWordNumbering;
}

uint64_t ql_load_position(const char* path, int* font, const BookModel* book) {
  uint64_t pos = 0;
  int size = kDefaultFontSize;
  bool renumbered = false;
  const std::string file = position_file(path);
  // A position whose save failed is where the reader was, not the older file under it.
  const std::string* unsaved = held_content(file);
  if (FilePtr f{unsaved ? fmemopen(const_cast<char*>(unsaved->data()), unsaved->size(), "r")
                        : qlp_fopen(file.c_str(), "r")}) {
    if (fscanf(f.get(), "%" SCNu64 " %d", &pos, &size) != 2) {
      pos = 0;
      size = kDefaultFontSize;
    }
    char rest[32];
    renumbered = fgets(rest, sizeof rest, f.get()) && marks_word_numbering(rest);
  }
  if (book && !renumbered) pos = book->word_from_old(pos);
  if (size < kMinFontSize || size > kMaxFontSize) size = kDefaultFontSize;
  if (font) *font = size;
  return pos;
}

bool ql_save_position(const char* path, uint64_t pos, int font) {
  char line[64];
  int n = snprintf(line, sizeof line, "%" PRIu64 " %d WN %u\n", pos, font, kWordNumbering);
  // The same position saved again (at an open) moves only the file's time, which orders the
  // Recent list. One that cannot be written is held, to be written later or named when the
  // program ends.
  return held_replace(position_file(path), std::string(line, static_cast<size_t>(n)),
                      ReaderWork::ReadingPosition, SameBytes::Touch);
}
