#include "app/reader/vocab_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "app/ui/save_notice.h"
#include "base/paths.h"
#include "base/tsv_field.h"
#include "base/utf8.h"
#include "book/annotations.h"
#include "display/device_facts.h"

std::string vocab_path() { return state_folder() + "/vocab.tsv"; }

std::string vocab_line(std::string_view word, int64_t unix_seconds, std::string_view book_path) {
  const size_t slash = book_path.rfind('/');
  std::string_view book = slash == std::string_view::npos ? book_path : book_path.substr(slash + 1);
  book = book.substr(0, utf8_prefix_length(book, kVocabBookMax));
  std::string line(word.substr(0, utf8_prefix_length(word, kVocabWordMax)));
  line += '\t';
  line += std::to_string(unix_seconds);
  line += '\t';
  line += tsv_field_spaced(book);
  line += '\n';
  return line;
}

namespace {
// Words whose append failed; the next append writes them first.
std::string unsaved;
}  // namespace

bool vocab_append(std::string_view word, std::string_view book_path) {
  unsaved += vocab_line(word, ql_now(), book_path);
  FilePtr f(qlp_fopen(vocab_path().c_str(), "a"));
  bool written = false;
  // Unbuffered, so that nothing is left to be written by the close after a cut below.
  if (f && setvbuf(f.get(), nullptr, _IONBF, 0) == 0 && fseek(f.get(), 0, SEEK_END) == 0) {
    const long start = ftell(f.get());
    written = fwrite(unsaved.data(), 1, unsaved.size(), f.get()) == unsaved.size();
    // A part of the lines may have reached the file: cut it off, so the retry adds whole lines
    // (the reason the write failed is the one to tell).
    const int error = errno;
    if (!written && start >= 0 && ftruncate(fileno(f.get()), start) == 0) errno = error;
    written = fclose(f.release()) == 0 && written;
  }
  if (written) unsaved.clear();
  return ui_report_save(ReaderWork::Vocabulary, written);
}
