#include "store/store_path_answer.h"

#include <algorithm>
#include <sys/stat.h>

#include "base/paths.h"
#include "base/text_lines.h"
#include "store/download_manager.h"
#include "store/store_catalog.h"

std::optional<std::string> store_run_for_path(ScriptLine line) {
  qlp_remove(kDownloadPathFile);
  const int ran = line.raw(" >").raw(kDownloadPathFile).raw(" 2>/dev/null").run();
  // A script the runner gave up on may still write its answer later: only a run counts.
  std::optional<std::string> answer =
      ran < 0 ? std::nullopt : read_file_alloc(kDownloadPathFile, kDownloadPathMax);
  qlp_remove(kDownloadPathFile);
  if (!answer) return std::nullopt;
  answer->resize(std::min(answer->size(), answer->find('\0')));
  answer->resize(trimmed_length(*answer));
  return answer;
}

bool store_path_is_book(const std::string& path) {
  // An answer that fills the whole read may have been cut, and would name another file.
  if (!path.starts_with(kDocumentsPrefix) || path.size() >= kDownloadPathMax) return false;
  char file_buf[kQlPathMax], docs_buf[kQlPathMax];
  const char* file = ql_path(path.c_str(), file_buf, sizeof file_buf);
  const char* docs = ql_path(kDocumentsPrefix, docs_buf, sizeof docs_buf);
  struct stat st;
  return qlp_stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && path_is_within(file, docs);
}
