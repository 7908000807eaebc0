// Stand-in until the main loop keeps pre-rendered pages: none is ever kept, so every page is
// drawn afresh.
#include "app/page_slots.h"

const uint8_t* page_bitmap_cached(uint64_t) { return nullptr; }
