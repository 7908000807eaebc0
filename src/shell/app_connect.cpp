#include "shell/app_connect.h"

#include <string>
#include <string_view>
#include <vector>

#include "app/ui/app_hooks.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_message.h"
#include "display/framebuffer.h"
#include "audio/audio_engine.h"
#include "library/document_scan.h"
#include "library/library_screen.h"
#include "library/library_view.h"
#include "library/morning_paper.h"
#include "library/progress_index.h"
#include "settings/quick_settings.h"
#include "settings/settings_pages.h"
#include "settings/usb_drive.h"
#include "store/audio_unpack.h"
#include "store/download_manager.h"
#include "store/download_progress.h"

namespace {
constexpr char kDocuments[] = "/mnt/us/documents";
constexpr double kProgressEveryMs = 400;
constexpr char kNoticeTitle[] = "Audiobook archives";

// An archive of many recordings takes a while: the count is shown as it grows, a few times a
// second at most so that drawing does not slow the unpack.
void show_unpack_progress(std::string_view archive, size_t done, size_t total) {
  static double shown_at = -kProgressEveryMs;
  const double now = ql_now_ms();
  if (done != 1 && done != total && now - shown_at < kProgressEveryMs) return;
  shown_at = now;
  const std::string text = "Unpacking " + std::string(archive) + ": " + std::to_string(done) +
                           " of " + std::to_string(total) + " recordings";
  ui_toast(text.c_str(), text.size());
}

// What became of archives that did not simply unpack whole, on one page; false when there was
// nothing to tell.
bool tell_unpack_notices() {
  std::vector<std::string> notices;
  for (const ArchiveReport& r : unpack_take_reports()) notices.push_back(unpack_notice(r));
  if (notices.empty()) return false;
  const std::vector<std::string_view> lines(notices.begin(), notices.end());
  ui_info_page(kNoticeTitle, sizeof kNoticeTitle - 1, lines);
  return true;
}

void add_new_books() {
  ql_unpack_zips(kDocuments, show_unpack_progress);
  library_rescan_documents();
  tell_unpack_notices();
}

size_t library_entry_count() { return ql_entries().size(); }

// A download that ended after its progress screen was left: a finished one joins the library, a
// failed one is told now, since no screen is left to say it.
bool add_finished_download() {
  if (app.downloads_screen) return false;
  const DownloadState state = ql_dl_state(nullptr, nullptr);
  if (state != DL_DONE && state != DL_FAILED) return false;
  ql_dl_ack();
  if (state == DL_DONE) {
    add_new_books();
    return false;
  }
  // An archive that arrived but did not unpack whole is told by its own notice, which says where
  // it lies: the download is not told as failed over it (over another archive's notice it is).
  tell_unpack_notices();
  if (!ql_dl_noticed()) download_failure_message();
  return true;
}

void show_library_fresh() {
  if (app.view == AppView::Reader && app.reader.book_open) book_close();
  library.search_query[0] = '\0';
  app.library_page = 0;
  library_rescan_documents();
  app.view = AppView::Library;
}
}  // namespace

void app_finish_unpacks(bool downloaded_archive) {
  ql_unpack_resume(kDocuments, show_unpack_progress);
  if (downloaded_archive) ql_unpack_zips(kDocuments, show_unpack_progress);
  tell_unpack_notices();
}

void app_connect_hooks() {
  app_hooks.persist_all = app_persist_all;
  app_hooks.stop_playback = ql_audio_stop;
  app_hooks.stop_download = ql_dl_quit;
  app_hooks.books_added = add_new_books;
  app_hooks.rescan_library = library_rescan_documents;
  app_hooks.library_size = library_entry_count;
  app_hooks.storage_wait = usb_storage_wait;
  app_hooks.before_wait = add_finished_download;
  app_hooks.record_progress = library_record_progress;
  app_hooks.save_progress = library_index_save;
  app_hooks.close_book = book_close;
  app_hooks.quick_settings = quick_settings_panel;
  app_hooks.mark_read = book_mark_read;
  app_hooks.settings = settings_pages;
  app_hooks.morning_settings = morning_settings_menu;
  app_hooks.library_fresh = show_library_fresh;
  app_hooks.draw_library = library_view_draw;
}
