#include "store/store_path_answer.h"

#include <algorithm>

#include "base/paths.h"
#include "base/text_lines.h"
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
