#include "app/reader/book_menu.h"

#include <array>
#include <string>
#include <string_view>

#include "app/reader/book_lists.h"
#include "app/reader/clippings_export.h"
#include "app/reader/paginator.h"
#include "app/reader/reader_bookmark.h"
#include "app/reader/ui_goto_page.h"
#include "app/ui/app_hooks.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "book/book_model.h"

namespace {
constexpr int kExportToastMs = 2500;
constexpr size_t kInfoLineMax = 512;

void go_to_beginning() {
  app.reader.back_page = app.reader.page;
  app.reader.back_valid = true;
  app.reader.page = 0;
}

void export_notes() {
  static constexpr std::string_view kDone = "Exported to the Clippings folder in Documents";
  static constexpr std::string_view kFailed = "Could not write the export. Nothing was changed.";
  const std::string_view message = export_clippings() ? kDone : kFailed;
  ui_toast_wait(message.data(), message.size(), kExportToastMs);
}

// A line longer than its room is shown empty rather than cut.
std::string info_line(std::string line) { return line.size() < kInfoLineMax ? line : std::string(); }

void about_book() {
  const std::array<std::string, 4> lines = {
      info_line(std::string("Title: ") + ql_title()),
      info_line(std::string("Author: ") + ql_author()),
      info_line("Pages: " + std::to_string(reader_page_total()) +
                "   Words: " + std::to_string(ql_word_count())),
      info_line(app.reader.open_path),
  };
  const std::array<std::string_view, 4> views = {lines[0], lines[1], lines[2], lines[3]};
  static constexpr std::string_view kTitle = "About this book";
  ui_info_page(kTitle.data(), kTitle.size(), views);
}
}  // namespace

void book_menu() {
  static constexpr std::array<std::string_view, 8> kRows = {
      "Notes & highlights", "Go to beginning", "Go to page",     "Mark as read",
      "Export notes (My Clippings format)", "About this book", "Settings", "Close book",
  };
  static constexpr std::string_view kTitle = "Book";
  const auto row = ui_list_menu(kTitle.data(), kTitle.size(), kRows);
  if (!row) return;
  switch (*row) {
    case 0: book_lists_screen(1); break;
    case 1: go_to_beginning(); break;
    case 2: goto_page_dialog(); break;
    case 3: {
      static constexpr std::string_view kMarked = "Marked as read";
      app_call(app_hooks.mark_read);
      ui_toast(kMarked.data(), kMarked.size());
      break;
    }
    case 4: export_notes(); break;
    case 5: about_book(); break;
    case 6: app_call(app_hooks.settings); break;
    case 7: app_call(app_hooks.close_book); break;
  }
}
