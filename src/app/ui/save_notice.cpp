#include "app/ui/save_notice.h"

#include <array>
#include <cerrno>
#include <cstdio>

#include "app/ui/app_state.h"
#include "app/ui/ui_message.h"
#include "book/annotations.h"
#include "display/touch.h"

namespace {
constexpr int kNoticeMs = 2500;

// Per kind: the reader was told of a failure and no save has succeeded since.
std::array<bool, kReaderWorkKinds> told{};

const char* work_name(ReaderWork work) {
  switch (work) {
    case ReaderWork::ReadingPosition: return "your reading position";
    case ReaderWork::Notes: return "your notes";
    case ReaderWork::Collections: return "your collections";
    case ReaderWork::Vocabulary: return "your vocabulary";
    case ReaderWork::AudioBookmarks: return "your audiobook bookmarks";
  }
  return "your changes";
}
}  // namespace

std::string save_failure_text(ReaderWork work, int error) {
  return save_failure_text(reader_work_bit(work), error);
}

std::string save_failure_text(unsigned works, int error) {
  std::string text = "Could not save ";
  unsigned named = 0;
  for (unsigned kind = 0; kind < kReaderWorkKinds; kind++) {
    const ReaderWork work = static_cast<ReaderWork>(kind);
    if (!(works & reader_work_bit(work))) continue;
    named |= reader_work_bit(work);
    const bool last = (works & ~named) == 0;
    if (named != reader_work_bit(work)) text += last ? " and " : ", ";
    text += work_name(work);
  }
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

namespace {
// Writes what failed before; a kind that is on disk now is told again when it fails again.
unsigned write_held() {
  const unsigned left = held_files_write();
  const int error = errno;
  for (unsigned kind = 0; kind < kReaderWorkKinds; kind++) {
    if (!(left & (1u << kind))) told[kind] = false;
  }
  errno = error;
  return left;
}
}  // namespace

bool ui_retry_failed_saves() {
  app_assert_core();
  return write_held() == 0;
}

void ui_tell_unsaved_at_quit() {
  app_assert_core();
  const unsigned left = write_held();
  if (!left) return;
  const std::string text = save_failure_text(left, errno);
  fprintf(stderr, "quillo: at quit: %s\n", text.c_str());
  ui_toast(text.c_str(), text.size());
  // Any event (another quit included) ends the wait: the program ends either way.
  int x = 0, y = 0, x2 = 0, y2 = 0, held = 0;
  ql_touch_poll(&x, &y, &x2, &y2, &held, kQuitNoticeMs);
}
