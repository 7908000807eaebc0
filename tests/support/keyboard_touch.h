// Touching the on-screen keyboard of a portrait frame by key label, for screens that edit a text.
#pragma once
#include <string_view>

#include "app/ui/ui_keyboard.h"
#include "support/scripted_touch.h"

struct KeyPoint {
  int x = -1, y = -1;
};

// The middle of the key (the keyboard's own layout); (-1, -1) and a test failure when none has
// that label.
inline KeyPoint key_point(std::string_view label, int w, int h) {
  for (int row = 0; row < kKeyboardRows; ++row) {
    const int n = (row == 0 || row == 4) ? 10 : 11;
    const int kw = (w - 16) / n;
    for (int col = 0; col < n; ++col) {
      const int x = 8 + col * kw + kw / 2, y = h - kKeyboardHeight + row * kKeyRowHeight + 60;
      if (keyboard_key_at(x, y, w, h) == label) return {x, y};
    }
  }
  ADD_FAILURE() << "no key " << label;
  return {};
}

inline void press(ScriptedTouch& touches, std::string_view label, int w, int h) {
  const KeyPoint p = key_point(label, w, h);
  touches.touch(p.x, p.y);
}
