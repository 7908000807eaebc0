// Catalogue covers: the store script fetches each image into the covers folder in the background
// (`covers` verb), and the screens draw it from a grey tile of the box's size made on first use.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "store/store_catalog.h"

// Draws the item's cover at x 48 and `y` in a w x h box: the tile, else the image decoded into a
// new tile, else a grey placeholder with the title. False only when the image has not been
// fetched yet (the caller then asks the script for it); an item without a usable address, or
// whose image does not decode, is never asked for again.
bool store_draw_cover_tile(const StoreItem& item, int y, int w, int h);

// The background line that fetches the covers of `items` (indices into the table): for each, its
// key and its address; empty when there is nothing to run.
std::string store_cover_command(std::span<const uint16_t> items);
