// What a touch on the reader page does: turns pages, follows links, toggles the bookmark and the
// footer, opens the toolbar, or starts a selection.
#pragma once
#include "app/ui/ui_wait.h"

// Acts on a completed touch (tap, hold or swipe) in the reader view.
void reader_handle_tap(const TapEvent& event);
// One page forward (unless on the last) or back (unless on the first); the turn always counts.
void reader_turn_page(bool forward);
// Follows a link under the point in a text book: true when the page changed to the link's target.
bool reader_link_at(int x, int y);
// Adds a bookmark on the current page, or removes the one it holds.
void reader_toggle_bookmark();
// The page count of the open book: the document's pages for PDF/CBZ, else the layout's.
uint64_t reader_page_count();

// Where a completed touch lands, by zone, time held and travel.
enum class ReaderTouch { FooterMode, Bookmark, Toolbar, SwipeForward, SwipeBack, LinkOrTurn, Hold };
ReaderTouch reader_touch_kind(const TapEvent& event, int w, int h);
// Whether a short touch that is not a swipe nor a link turns forward (everything right of the
// left quarter) or back.
inline bool reader_zone_forward(int x, int w) { return x >= w / 4; }
