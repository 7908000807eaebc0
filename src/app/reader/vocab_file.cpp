#include "app/reader/vocab_file.h"

#include "app/ui/save_notice.h"
#include "base/held_files.h"
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

bool vocab_append(std::string_view word, std::string_view book_path) {
  return ui_report_save(ReaderWork::Vocabulary,
                        held_append(vocab_path(), vocab_line(word, ql_now(), book_path),
                                    ReaderWork::Vocabulary));
}
