// Pages rendered off screen ahead of a page turn: the main loop keeps the next and the previous
// page of the open text book in two slots, and a turn copies the slot in instead of laying out.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/page_memory.h"

// One page kept off screen: the grey plane followed by the mask plane, in memory returned when the
// slot is resized or dropped.
struct PageSlot {
  PageMemory pixels;
  uint64_t size = 0;        // bytes of pixels
  uint64_t page = 0;
  uint32_t generation = 0;  // the layout generation it was drawn under
  bool valid = false;
  bool paper_mask = false;  // its mask plane is all paper (no picture on the page)
};

// The grey and mask planes of a kept rendering of `page` under the current layout generation and
// screen size, or null when none is kept. Slot 0 is tried first. `paper_mask`, when given, is set
// when the kept mask plane is all paper.
const uint8_t* page_bitmap_cached(uint64_t page, bool* paper_mask = nullptr);

// Renders the page after the current one and then the one before into the slots, skipping pages
// already kept; the previous page is skipped when input is waiting. Only for an open text book.
void prerender_neighbours();

// True for a PDF/CBZ page; for a text page, whether any of its lines starts with a picture.
bool page_has_image();
