#include "shell/main_loop.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "app/reader/layout_cache.h"
#include "app/reader/page_slots.h"
#include "app/reader/paginator.h"
#include "app/reader/reader_open.h"
#include "app/reader/reader_page.h"
#include "app/reader/reader_taps.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_state.h"
#include "base/system_services.h"
#include "book/annotations.h"
#include "book/book_model.h"
#include "book/covers.h"
#include "display/device_facts.h"
#include "display/framebuffer.h"
#include "display/touch.h"
#include "library/library_screen.h"
#include "library/morning_paper.h"
#include "library/progress_index.h"
#include "settings/usb_drive.h"
#include "store/store_home.h"

namespace {
constexpr int kBatteryLow = 10;        // below this, and not charging, warn once
constexpr int kBatteryRearm = 15;      // above this the warning may show again
constexpr std::string_view kBatteryLowText = "Battery low. Please charge.";
constexpr uint32_t kLibraryWaveform = 4;
constexpr uint64_t kProgressEveryTurns = 10;
constexpr int kFooterStripHeight = 70;
constexpr int kBookmarkCornerRows = 130;  // the corner covers rows 0..129
constexpr int kCoverPollMs = 1;

void apply_rotation() {
  const uint32_t wanted = app.view == AppView::Reader && ui_state.land ? 1 : 0;
  if (ql_rotation() == wanted) return;
  ql_set_rotation(wanted);
  if (app.reader.book_open) relayout_keep_position();
  app.present.clean = false;
}

void draw_view() {
  if (app.view == AppView::Library) {
    app.present.waveform = kLibraryWaveform;
    ql_settle(0);
    library_view_draw();
    return;
  }
  switch (ui_state.pq) {
    case 0:
      app.present.waveform = 1;
      ql_settle(1);
      break;
    case 2:
      app.present.waveform = 3;
      ql_settle(0);
      break;
    default:
      app.present.waveform = 7;
      ql_settle(page_has_image() ? 1 : 0);
      break;
  }
  app.reader.use_prerender = true;
  reader_draw_page();
}

void write_layout_cache() {
  if (app.reader.layout_dirty && app.reader.book_open && !ql_is_pdf() && !layout.lines.empty())
    layout_cache_write();
}

// Decodes one queued cover into its box and shows it.
void decode_cover(const CoverJob& job) {
  const size_t bytes = size_t{job.w} * job.h;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[bytes == 0 ? 1 : bytes]);
  if (!buffer) return;
  const size_t length = strnlen(job.path, sizeof job.path);
  if (cover_get(job.path, length, job.kind, job.w, job.h, buffer.get(), bytes, true) != 1) return;
  cover_job_draw(job, buffer.get());
  ui_present(false);
}

// Where the page keys tap: the reader's page edges, as a tap there turns a page, and the library's
// pager.
PageKeyTaps view_page_keys() {
  const int w = ql_fb().width, h = ql_fb().height;
  if (app.view == AppView::Library)
    return ui_pager_keys(w, library_geometry(w, h, ui_state.grid).pager_baseline);
  return ui_pager_keys(w, h / 2);
}

// Works the cover queue between 1 ms input polls. True when input arrived: the rest of the queue
// is dropped and `event` holds the input, translated as the common wait translates it.
bool work_cover_queue(TapEvent& event) {
  if (app.view != AppView::Library || app.covers.count == 0) return false;
  const BackPassthrough pass;
  const PageKeyTaps keys = view_page_keys();
  const uint64_t count = std::min(app.covers.count, kMaxCoverJobs);
  for (uint64_t i = 0; i < count; ++i) {
    int x = 0, y = 0, x2 = 0, y2 = 0, held = 0;
    ql_touch_page_keys(&keys);
    const int r = ql_touch_poll(&x, &y, &x2, &y2, &held, kCoverPollMs);
    ql_touch_page_keys(nullptr);
    if (r != TOUCH_TIMEOUT) {
      app.covers.count = 0;
      event = TapEvent{uint32_t(x), uint32_t(y), uint32_t(x2), uint32_t(y2), uint32_t(held), 0};
      ui_common_event(r, event);
      return true;
    }
    decode_cover(app.covers.jobs[i]);
  }
  app.covers.count = 0;
  return false;
}

void wait_for_input(TapEvent& event) {
  if (app.view == AppView::Reader) {
    const EarlyZone z = reader_early_zone(ql_fb().width, ql_fb().height);
    ql_touch_early(z.edge, z.top, z.bottom);
  }
  {
    const BackPassthrough pass;
    const PageKeyTaps keys = view_page_keys();
    ui_wait_event(event, &keys);
  }
  ql_touch_early(0, 0, 0);
}

void clear_early_state() {
  app.reader.early_pending = false;
  app.reader.early_page = 0;
}
}  // namespace

EarlyZone reader_early_zone(int w, int h) {
  return EarlyZone{w / 4, std::max(h / 10, kBookmarkCornerRows), h - kFooterStripHeight};
}

void main_loop_check_battery() {
  const int level = ql_battery();
  if (level >= 0 && level < kBatteryLow && !ql_charging() && !app.battery_warned) {
    app.battery_warned = true;
    ui_toast(kBatteryLowText.data(), kBatteryLowText.size());
  } else if (level > kBatteryRearm) {
    app.battery_warned = false;
  }
}

void main_loop_save_position() {
  if (!app.reader.position_dirty || !app.reader.book_open) return;
  if (app.reader.page_turns % kProgressEveryTurns == 0) {
    if (library_record_progress()) library_index_save();  // saves the position too
    return;
  }
  app.reader.position_dirty = false;
  const uint64_t position = ql_is_pdf() ? app.reader.page : layout.page_first_word(app.reader.page);
  ql_save_position(app.reader.open_path, position, layout.font_px);
}

void main_loop_dispatch(const TapEvent& e) {
  const bool reader = app.view == AppView::Reader && app.reader.book_open;
  switch (e.code) {
    case TAP_EARLY:
      if (reader) {
        app.reader.early_page = app.reader.page;
        app.reader.early_pending = true;
        if (!reader_link_at(static_cast<int>(e.x), static_cast<int>(e.y))) {
          reader_turn_page(reader_zone_forward(static_cast<int>(e.x), ql_fb().width));
        }
        return;  // only the page changed: the pre-rendered pages stay usable
      }
      break;
    case TAP_EARLY_CANCEL:
      if (reader) {
        if (app.reader.early_pending) {
          app.reader.page = app.reader.early_page;
          if (app.reader.page_turns > 0) --app.reader.page_turns;
        }
        layout_generation_advance();
        clear_early_state();
        app.reader.keep_prerender = false;
        TapEvent tap = e;
        tap.code = TAP_TOUCH;
        reader_handle_tap(tap);
        return;
      }
      break;
    case TAP_TOUCH:
      clear_early_state();
      app.reader.keep_prerender = false;
      if (app.view == AppView::Library) {
        library_handle_touch(e);
      } else if (reader) {
        reader_handle_tap(e);
      }
      if (!app.reader.keep_prerender) layout_generation_advance();
      return;
    case TAP_BACK:
      clear_early_state();
      layout_generation_advance();
      if (app.view == AppView::Reader) {
        book_close();
      } else {
        app_persist_all();
        ql_leave();
      }
      return;
    default:
      break;
  }
  clear_early_state();
  layout_generation_advance();
}

void main_loop_pass() {
  app_assert_core();
  usb_storage_wait();
  main_loop_check_battery();
  apply_rotation();
  if (app.view == AppView::Paper) {
    morning_paper_screen();
    return;
  }
  if (app.view >= AppView::Store) {
    store_home_screen();
    return;
  }
  draw_view();
  ui_present(!app.present.clean);
  app.present.clean = true;
  main_loop_save_position();
  write_layout_cache();
  prerender_neighbours();
  TapEvent event;
  if (!work_cover_queue(event)) wait_for_input(event);
  main_loop_dispatch(event);
}

void main_loop() {
  for (;;) main_loop_pass();
}
