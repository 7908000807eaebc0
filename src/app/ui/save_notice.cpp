#include "app/ui/save_notice.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "app/ui/app_state.h"
#include "app/ui/ui_message.h"
#include "book/annotations.h"
#include "display/touch.h"
#include "host/plat.h"

namespace {
constexpr int kNoticeMs = 2500;
// What a quit does after it has waited for books being copied in: a moment to stop the copies
// still running, the writes held, this notice and the end of the process.
constexpr int kQuitAfterCopiesMs = kQuitNoticeMs + 400;

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

// "a", "a and b", "a, b and c".
std::string listed(const std::vector<std::string>& items) {
  std::string text;
  for (size_t i = 0; i < items.size(); i++) {
    if (i > 0) text += i + 1 == items.size() ? " and " : ", ";
    text += items[i];
  }
  return text;
}

// Books a quit could not wait for: "Could not finish copying Big.epub into the library."
std::string unfinished_copies_text(const std::vector<std::string>& books) {
  return "Could not finish copying " + listed(books) + " into the library.";
}
}  // namespace

std::string save_failure_text(ReaderWork work, int error) {
  return save_failure_text(reader_work_bit(work), error);
}

std::string save_failure_text(unsigned works, int error) {
  std::vector<std::string> names;
  for (unsigned kind = 0; kind < kReaderWorkKinds; kind++) {
    const ReaderWork work = static_cast<ReaderWork>(kind);
    if (works & reader_work_bit(work)) names.emplace_back(work_name(work));
  }
  const std::string text = "Could not save " + listed(names);
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

void ui_tell_start_notice() {
  app_assert_core();
  const std::string text = plat_start_notice();
  if (text.empty()) return;
  told.fill(true);
  ui_toast_wait(text.c_str(), text.size(), kNoticeMs);
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
  const std::vector<std::string> not_added = plat_finish_copies(kQuitAfterCopiesMs);
  const unsigned left = write_held();
  std::string text = left ? save_failure_text(left, errno) : "";
  if (!not_added.empty()) {
    if (!text.empty()) text += ' ';
    text += unfinished_copies_text(not_added);
  }
  if (text.empty()) return;
  fprintf(stderr, "quillo: at quit: %s\n", text.c_str());
  ui_toast(text.c_str(), text.size());
  // Any event (another quit included) ends the wait: the program ends either way.
  int x = 0, y = 0, x2 = 0, y2 = 0, held = 0;
  ql_touch_poll(&x, &y, &x2, &y2, &held, kQuitNoticeMs);
}
