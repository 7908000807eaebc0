#include "app/ui/save_notice.h"

#include <array>
#include <cerrno>

#include "app/ui/app_state.h"
#include "app/ui/ui_message.h"
#include "book/annotations.h"

namespace {
constexpr int kNoticeMs = 2500;
constexpr size_t kWorkKinds = 4;

// Per kind: the reader was told of a failure and no save has succeeded since.
std::array<bool, kWorkKinds> told{};

const char* work_name(ReaderWork work) {
  switch (work) {
    case ReaderWork::Notes: return "your notes";
    case ReaderWork::Collections: return "your collections";
    case ReaderWork::Vocabulary: return "your vocabulary";
    case ReaderWork::AudioBookmarks: return "your audiobook bookmarks";
  }
  return "your changes";
}
}  // namespace

std::string save_failure_text(ReaderWork work, int error) {
  std::string text = std::string("Could not save ") + work_name(work);
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return text + ": the storage is full.";
    case EROFS:
    case EACCES:
    case EPERM: return text + ": the storage is read-only.";
    default: return text + ".";
  }
}

bool ui_report_save(ReaderWork work, bool saved) {
  const int error = errno;
  app_assert_core();
  bool& was_told = told[static_cast<size_t>(work)];
  if (saved) {
    was_told = false;
    return true;
  }
  if (was_told) return false;
  was_told = true;
  const std::string text = save_failure_text(work, error);
  ui_toast_wait(text.c_str(), text.size(), kNoticeMs);
  return false;
}

bool ui_save_notes() { return ui_report_save(ReaderWork::Notes, qla_save(app.reader.open_path)); }
