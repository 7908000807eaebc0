#include "app/reader/page_slots.h"

#include "app/reader/paginator.h"
#include "app/reader/reader_page.h"
#include "app/ui/app_state.h"
#include "book/book_model.h"
#include "display/framebuffer.h"
#include "display/touch.h"

namespace {
// The neighbour pages rendered off screen; only the core thread touches them.
PageSlot slots[2];

uint64_t needed_slot_size() {
  const Framebuffer& fb = ql_fb();
  return 2 * static_cast<uint64_t>(fb.width) * static_cast<uint64_t>(fb.height);
}

bool slot_holds(const PageSlot& s, uint64_t page) {
  return s.valid && s.page == page && s.generation == layout.generation && s.pixels &&
         s.size == needed_slot_size();
}

// Gives the slot a buffer of the needed size (keeping one that already fits); false when the
// memory is not there, which leaves the slot empty.
bool size_slot(PageSlot& s, uint64_t needed) {
  if (s.pixels && s.size == needed) return true;
  s.pixels = PageMemory();
  s.size = 0;
  s.valid = false;
  s.paper_mask = false;
  s.pixels = PageMemory(needed);
  if (!s.pixels) return false;
  s.size = needed;
  return true;
}

// Draws `page` into the slot with drawing redirected; false when no buffer could be had.
bool fill_slot(PageSlot& s, uint64_t page) {
  if (!size_slot(s, needed_slot_size())) return false;
  s.valid = false;
  ql_target(s.pixels.data(), s.paper_mask);
  reader_render_text_page(page);
  s.paper_mask = ql_mask_blank();
  ql_target(nullptr);
  s.page = page;
  s.generation = layout.generation;
  s.valid = true;
  return true;
}
}  // namespace

const uint8_t* page_bitmap_cached(uint64_t page, bool* paper_mask) {
  for (const PageSlot& s : slots) {
    if (!slot_holds(s, page)) continue;
    if (paper_mask) *paper_mask = s.paper_mask;
    return s.pixels.data();
  }
  return nullptr;
}

void prerender_neighbours() {
  if (app.view != AppView::Reader || !app.reader.book_open || ql_is_pdf()) return;
  const uint64_t pages = layout.page_count();
  const uint64_t next = app.reader.page + 1;
  if (next < pages && !page_bitmap_cached(next)) {
    // Keep a slot that already holds the previous page.
    const bool zero_has_prev = app.reader.page > 0 && slot_holds(slots[0], app.reader.page - 1);
    if (!fill_slot(slots[zero_has_prev ? 1 : 0], next)) return;
    if (ql_touch_waiting()) return;
  }
  if (app.reader.page > 0 && !page_bitmap_cached(app.reader.page - 1)) {
    const bool one_has_next = slot_holds(slots[1], std::min(next, pages));
    fill_slot(slots[one_has_next ? 0 : 1], app.reader.page - 1);
  }
}

bool page_has_image() {
  if (ql_is_pdf()) return true;
  if (app.reader.page >= layout.page_count()) return false;
  const auto [first, last] = layout.page_lines(app.reader.page);
  const uint64_t count = ql_word_count();
  const BookWord* words = ql_words();
  for (size_t i = first; i < last; ++i) {
    const uint64_t w = layout.lines[i].word_from;
    if (w < count && words[w].style == STYLE_PICTURE) return true;
  }
  return false;
}
