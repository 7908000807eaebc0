// Pages rendered off screen ahead of a page turn.
#pragma once
#include <cstdint>

// The grey and mask planes of a kept rendering of `page` under the current layout generation and
// screen size, or null when none is kept.
const uint8_t* page_bitmap_cached(uint64_t page);
