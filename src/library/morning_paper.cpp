#include "library/morning_paper.h"

#include <algorithm>
#include <span>
#include <string>
#include <string_view>

#include "app/ui/app_state.h"
#include "app/ui/ui_cover_card.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "display/device_facts.h"
#include "display/fonts.h"
#include "display/framebuffer.h"
#include "library/document_scan.h"
#include "library/edition_dates.h"
#include "library/library_screen.h"
#include "library/library_view.h"
#include "settings/quick_settings.h"

namespace {

constexpr size_t kMaxEditions = 2000;
constexpr size_t kMaxListedEditions = 200;
constexpr size_t kEditionLabelMax = 89;
constexpr int kCoverX = 48, kCoverY = 320, kCoverW = 300, kCoverH = 420;
constexpr int kRowHeight = 112, kRowCount = 3;

std::string_view edition_name(uint64_t entry) { return path_file_name(ql_entries()[entry].path); }

void show_message(std::string_view text, int timeout_ms) {
  ui_toast_wait(text.data(), text.size(), timeout_ms);
}

// The newest edition's block; the top of the rows below it.
int draw_newest(uint64_t entry, const std::string& key, int w) {
  const ScanEntry& e = ql_entries()[entry];
  ui_draw_cover_card(e.path.c_str(), e.path.size(), e.kind, e.title.c_str(), e.title.size(), kCoverX,
                     kCoverY, kCoverW, kCoverH);
  const std::string_view name = edition_name(entry);
  const bool today = name.substr(0, 10) == key;
  ql_text(today ? "Today's edition" : "Latest edition", TS_UI, 38, 384, 380);
  const std::string label = edition_date_label(name);
  int y = ui_draw_wrapped(label.c_str(), label.size(), TS_BOLD, 54, 384, 450, w - 432, 68);
  constexpr std::string_view kReady = "Ready to read. Saved on this device.";
  ui_draw_wrapped(kReady.data(), kReady.size(), TS_REGULAR, 42, 384, y + 6, w - 432, 56);
  ql_frame(48, 780, w - 96, 130, 3);
  const float tw = ql_measure("Open the paper", TS_UI_BOLD, 54);
  ql_text("Open the paper", TS_UI_BOLD, 54, (static_cast<float>(w) - tw) / 2, 866);
  return 930;
}

int draw_empty(int w) {
  constexpr std::string_view kNone =
      "No editions yet. The paper arrives over your home Wi-Fi once the feed is set up, or copy an "
      "EPUB into the Morning Paper folder over USB.";
  const int after = ui_draw_wrapped(kNone.data(), kNone.size(), TS_REGULAR, 54, 48, 400, w - 96, 72);
  return after - 72 + 40;
}

// Draws the screen; the top of its rows.
int draw(const std::vector<uint64_t>& editions) {
  const int w = ql_fb().width;
  ui_draw_header("Morning Paper");
  const CivilDate date = local_date(ql_now(), tz_offset_minutes());
  const std::string today = today_label(date);
  ql_text(today.c_str(), TS_UI, 38, 48, 262);
  const int top = editions.empty() ? draw_empty(w) : draw_newest(editions[0], today_key(date), w);
  constexpr std::array<const char*, kRowCount> kRows = {"Earlier editions", "Get today's paper",
                                                       "Feed and wake time"};
  for (int i = 0; i < kRowCount; i++) {
    const int row = top + kRowHeight * i;
    ql_text(kRows[i], TS_UI, 54, 48, static_cast<float>(row + 74));
    ql_text("\xE2\x80\xBA", TS_UI_BOLD, 54, static_cast<float>(w - 72), static_cast<float>(row + 74));
    ql_rect(48, row + 111, w - 96, 1, 170);
  }
  return top;
}

// True when an edition was opened.
bool earlier_editions(const std::vector<uint64_t>& editions) {
  if (editions.empty()) {
    show_message("No editions yet", 2000);
    return false;
  }
  const size_t n = std::min(editions.size(), kMaxListedEditions);
  std::vector<std::string> labels;
  for (size_t i = 0; i < n; i++) {
    labels.emplace_back(ui_utf8_prefix(edition_date_label(edition_name(editions[i])), kEditionLabelMax));
  }
  const std::vector<std::string_view> rows(labels.begin(), labels.end());
  const uint32_t generation = library.scan_generation;
  constexpr std::string_view kTitle = "Earlier editions";
  const std::optional<size_t> pick = ui_list_menu(kTitle.data(), kTitle.size(), rows);
  // A rescan meanwhile renumbered the entries: the pick may name another book now.
  if (!pick || library.scan_generation != generation) return false;
  library_open_entry(ql_entries()[editions[*pick]]);
  return true;
}

}  // namespace

std::vector<uint64_t> morning_editions() {
  std::vector<uint64_t> editions;
  for (uint64_t i = 0; i < ql_entries().size() && editions.size() < kMaxEditions; i++) {
    if (entry_is_paper(i)) editions.push_back(i);
  }
  std::stable_sort(editions.begin(), editions.end(), [](uint64_t a, uint64_t b) {
    return morning_edition_newer_first(edition_name(a), edition_name(b));
  });
  return editions;
}

void morning_paper_screen() {
  app.present.waveform = kWaveformFull;
  ql_settle();
  while (app.view == AppView::Paper) {
    const std::vector<uint64_t> editions = morning_editions();
    const int top = draw(editions);
    ui_present(!app.present.clean);
    app.present.clean = true;
    TapEvent event;
    ui_wait_event(event);
    if (event.code != TAP_TOUCH) continue;
    const int y = static_cast<int>(event.y);
    if (y >= ql_fb().height - 120) continue;
    if (y < kStatusBarBottom) {
      quick_settings_panel();
    } else if (y <= kHeaderBottom) {
      // The back arrow: the paper is a view of the library.
      app.view = AppView::Library;
    } else if (!editions.empty() && y >= kCoverY && y < top - 10) {
      library_open_entry(ql_entries()[editions[0]]);
      return;
    } else if (y >= top && y < top + kRowHeight * kRowCount) {
      const int row = (y - top) / kRowHeight;
      if (row == 0) {
        if (earlier_editions(editions)) return;
      } else {
        show_message("Not in this version yet.", 2600);
      }
    }
  }
}
