#include "library/book_details.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <span>
#include <sys/stat.h>
#include <vector>

#include "app/ui/app_state.h"
#include "app/ui/ui_confirm.h"
#include "app/ui/ui_cover_card.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "base/paths.h"
#include "display/fonts.h"
#include "display/framebuffer.h"
#include "library/collections.h"
#include "library/document_scan.h"
#include "library/library_screen.h"
#include "library/library_view.h"
#include "library/progress_index.h"

namespace {

constexpr int kCoverX = 48, kCoverY = 258, kCoverW = 300, kCoverH = 420;
constexpr int kTextX = 380, kTitleY = 306, kTitleSize = 54, kTitleLineHeight = 60;
// The title keeps to this many lines so the author, file and progress lines stay above the
// buttons, however long it is.
constexpr int kTitleLinesMax = 4;
constexpr int kButtonCount = 5;
constexpr int kButtonsLeft = 48, kButtonGap = 16, kLabelInset = 40, kLabelSize = 54;
constexpr int kLabelBelowMiddle = 18;  // the label's baseline below the frame's middle
constexpr int kMessageWaitMs = 2500;
constexpr std::string_view kMoveFailed = "Could not move the book. Nothing was deleted.";

enum Button { OPEN, MARK, ADD, REMOVE, DELETE };

void show_message(std::string_view text) { ui_toast_wait(text.data(), text.size(), kMessageWaitMs); }

uint64_t file_size(const std::string& path) {
  struct stat st {};
  return qlp_stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

void draw(const ScanEntry& e, const ProgressRecord& record) {
  const int w = ql_fb().width;
  const int text_w = w - 428;
  ui_draw_header("About this book");
  ui_draw_cover_card(e.path.c_str(), e.path.size(), e.kind, e.title.c_str(), e.title.size(), kCoverX,
                     kCoverY, kCoverW, kCoverH);
  const int t = ui_draw_wrapped_cut(e.title, TS_BOLD, kTitleSize, kTextX, kTitleY, text_w,
                                    kTitleLineHeight, kTitleLinesMax);
  ui_draw_text_fit(e.author.c_str(), TS_REGULAR, 42, kTextX, t + 4, text_w);
  const std::string file = book_details_file_line(e.path, file_size(e.path));
  ql_text(file.c_str(), TS_UI, 42, kTextX, static_cast<float>(t + 56));
  const std::string read = std::to_string(record.percent) + "% read";
  ql_text(read.c_str(), TS_UI, 42, kTextX, static_cast<float>(t + 106));
  const std::array<const char*, kButtonCount> labels = {
      "Open", record.read ? "Mark as unread" : "Mark as read", "Add to collection",
      "Remove from collection", "Delete from device"};
  const DetailsButtons b = book_details_buttons(w, ql_fb().height);
  for (int i = 0; i < kButtonCount; i++) {
    const int x = b.left(i), y = b.top_of(i);
    ql_frame(x, y, b.width, b.height, i == 0 ? 4 : 2);
    ui_draw_text_fit(labels[i], i == 0 ? TS_BOLD : TS_REGULAR, kLabelSize, x + kLabelInset,
                     y + b.height / 2 + kLabelBelowMiddle, b.width - 2 * kLabelInset);
  }
}

void add_to_collection(std::string_view name) {
  if (!collection_can_hold(name)) {
    show_message(
        "This book's file name holds a tab or a line break, which a collection cannot keep. "
        "Rename the file to add it.");
    return;
  }
  if (collections.count == 0) {
    show_message("Create a collection first (Menu > Collections)");
    return;
  }
  std::vector<std::string_view> rows;
  for (size_t i = 0; i < collections.count; i++) rows.push_back(collection_name(i));
  constexpr std::string_view kTitle = "Add to collection";
  if (const std::optional<size_t> pick = ui_list_menu(kTitle.data(), kTitle.size(), rows)) {
    collection_add_book(*pick, name.data(), name.size());
  }
}

void remove_from_collection(std::string_view name) {
  std::vector<size_t> held;
  std::vector<std::string_view> rows;
  for (size_t i = 0; i < collections.count; i++) {
    if (collection_has_book(i, name.data(), name.size())) {
      held.push_back(i);
      rows.push_back(collection_name(i));
    }
  }
  if (held.empty()) {
    show_message("Not in any collection");
    return;
  }
  constexpr std::string_view kTitle = "Remove from collection";
  if (const std::optional<size_t> pick = ui_list_menu(kTitle.data(), kTitle.size(), rows)) {
    collection_remove_book(held[*pick], name.data(), name.size());
  }
}

// True when the book went to the trash.
bool delete_from_device(const std::string& path) {
  constexpr std::string_view kQuestion =
      "Delete from device? You can restore it from the trash folder.";
  constexpr std::string_view kAction = "Delete";
  if (!ui_confirm(kQuestion.data(), kQuestion.size(), kAction.data(), kAction.size())) return false;
  if (!book_move_to_trash(path)) {
    show_message(kMoveFailed);
    return false;
  }
  library_rescan_documents();
  constexpr std::string_view kMoved = "Moved to trash";
  ui_toast(kMoved.data(), kMoved.size());
  return true;
}

// The entry with this path in the last scan (entry numbers change with every rescan).
std::optional<uint64_t> find_entry(const std::string& path) {
  const std::span<const ScanEntry> entries = ql_entries();
  for (size_t i = 0; i < entries.size(); i++) {
    if (entries[i].path == path) return i;
  }
  return std::nullopt;
}

bool exists(const std::string& path) {
  struct stat st {};
  return qlp_lstat(path.c_str(), &st) == 0;
}

}  // namespace

DetailsButtons book_details_buttons(int width, int height) {
  constexpr int kTop = 700, kPitch = 136, kHeight = 120, kBottomMargin = 16;
  DetailsButtons b;
  b.top = kTop;
  if (kTop + (kButtonCount - 1) * kPitch + kHeight <= height) {
    b.columns = 1;
    b.pitch_y = kPitch;
    b.height = kHeight;
    b.width = width - 2 * kButtonsLeft;
  } else {
    // A low screen (landscape): two buttons to a row, the rows as high as the room allows.
    constexpr int kRows = (kButtonCount + 1) / 2;
    b.columns = 2;
    b.pitch_y = std::min(kPitch, (height - kTop - kBottomMargin + kButtonGap) / kRows);
    b.height = b.pitch_y - kButtonGap;
    b.width = (width - 2 * kButtonsLeft - kButtonGap) / 2;
  }
  b.pitch_x = b.width + kButtonGap;
  return b;
}

int DetailsButtons::left(int i) const { return kButtonsLeft + (i % columns) * pitch_x; }
int DetailsButtons::top_of(int i) const { return top + (i / columns) * pitch_y; }

int book_details_button_at(const DetailsButtons& b, int x, int y) {
  if (y < b.top || b.pitch_y <= 0) return -1;
  // A gap between buttons belongs to the one before it; in one column any x counts.
  const int column = b.columns > 1 && x >= kButtonsLeft + b.pitch_x ? 1 : 0;
  const int i = (y - b.top) / b.pitch_y * b.columns + column;
  return i < kButtonCount ? i : -1;
}

std::string book_details_file_line(std::string_view path, uint64_t bytes) {
  const size_t dot = path.rfind('.');
  const std::string type = dot == std::string_view::npos ? "?" : std::string(path.substr(dot + 1));
  char size[32];
  snprintf(size, sizeof size, "%.1f MB", static_cast<double>(bytes) / 1048576.0);
  return type + "  \xC2\xB7  " + size;
}

bool book_move_to_trash(std::string_view path) {
  // A path is never cut to fit: the cut one could name another file, which would go instead.
  if (path.empty() || path.size() > kScanPathMax) return false;
  qlp_mkdir(kTrashFolder, 0755);
  const std::string name(path_file_name(path));
  const std::string folder = std::string(kTrashFolder) + "/";
  std::string target = folder + name;
  for (int n = 1; n <= 999 && exists(target); n++) target = folder + std::to_string(n) + " " + name;
  if (target.size() > kScanPathMax || exists(target)) return false;
  const std::string from(path);
  return qlp_rename(from.c_str(), target.c_str()) == 0;
}

void book_details_screen(uint64_t entry) {
  if (entry >= ql_entries().size()) return;
  const std::string path = ql_entries()[entry].path;
  app.present.waveform = kWaveformFull;
  ql_settle();
  for (;;) {
    const std::optional<uint64_t> now = find_entry(path);
    if (!now) return;
    const ScanEntry e = ql_entries()[*now];
    const std::string_view name = path_file_name(e.path);
    ProgressRecord& record = library_record_for(name.data(), name.size());
    draw(e, record);
    ui_present(!app.present.clean);
    app.present.clean = true;
    TapEvent event;
    ui_wait_event(event);
    if (event.code == TAP_REDRAW) {
      app.present.clean = false;
      continue;
    }
    if (event.code != TAP_TOUCH) return;
    if (static_cast<int>(event.y) <= kHeaderBottom) return;
    const DetailsButtons buttons = book_details_buttons(ql_fb().width, ql_fb().height);
    switch (book_details_button_at(buttons, static_cast<int>(event.x), static_cast<int>(event.y))) {
      case OPEN: library_open_entry(e); return;
      case MARK:
        record.read = record.read ? 0 : 1;
        if (record.read) record.percent = 100;
        library_index_save();
        break;
      case ADD: add_to_collection(name); break;
      case REMOVE: remove_from_collection(name); break;
      case DELETE:
        if (delete_from_device(e.path)) return;
        break;
      default: break;
    }
  }
}
