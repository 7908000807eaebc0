// The selection a long touch starts on the reader page: handles, the popup with its five actions
// (highlight, note, dictionary, search, cancel) and the extension onto the next page.
#pragma once
#include <cstdint>

#include "app/ui/ui_wait.h"

// Runs the selection that the long touch `event` starts; the page it began on is current again
// when it returns.
void reader_select(const TapEvent& event);

// Where the popup and its parts lie for a screen of w x h and a reference row (the last selected
// word's baseline, else the press point).
struct SelectionPopup {
  int top;           // Y
  int button_width;  // b
};
SelectionPopup selection_popup(int w, int h, int reference_y);

enum class PopupTap { None, NextPage, Close, Highlight, Note, Dictionary, Search };
// What a tap at (x, y) does in the popup (handles aside).
PopupTap popup_hit(const SelectionPopup& p, int w, int x, int y, bool has_next_page);

constexpr int kSelectionPopupHeight = 290;
