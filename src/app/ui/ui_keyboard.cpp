#include "app/ui/ui_keyboard.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "app/ui/app_state.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "base/utf8.h"
#include "display/framebuffer.h"

namespace {
using KeyRow = std::span<const std::string_view>;
constexpr std::array<std::string_view, 10> kRow0 = {"1", "2", "3", "4", "5",
                                                    "6", "7", "8", "9", "0"};
constexpr std::array<std::string_view, 11> kRow1 = {"q", "w", "e", "r", "t", "y",
                                                    "u", "i", "o", "p", "\xC3\xA5"};
constexpr std::array<std::string_view, 11> kRow2 = {"a", "s", "d", "f", "g", "h",
                                                    "j", "k", "l", "\xC3\xB6", "\xC3\xA4"};
constexpr std::array<std::string_view, 11> kRow3 = {"Shift", "z", "x", "c", "v", "b",
                                                    "n",     "m", "-", "_", "Del"};
constexpr std::array<std::string_view, 10> kRow4 = {"Cancel", "@", ".", ":", "/",
                                                    "Space",  "?", "&", "=", "Done"};
constexpr std::array<KeyRow, kKeyboardRows> kRows = {kRow0, kRow1, kRow2, kRow3, kRow4};

// The Nordic letters and their capitals.
struct CasePair {
  std::string_view lower, upper;
};
constexpr std::array<CasePair, 3> kNordic = {{
    {"\xC3\xA5", "\xC3\x85"},
    {"\xC3\xA4", "\xC3\x84"},
    {"\xC3\xB6", "\xC3\x96"},
}};

constexpr size_t kTitleMax = 127;
constexpr size_t kFieldShownMax = 250;
constexpr size_t kLabelMax = 15;
constexpr int kKeysLeft = 8;
constexpr uint8_t kKeyLineGrey = 190;
constexpr float kShortLabelSize = 54;
constexpr float kWordLabelSize = 30;
constexpr int kBackMaxX = 239;

int key_width(int w, size_t keys) { return (w - 2 * kKeysLeft) / int(keys); }

// A key's text with Shift applied: a to z and the Nordic letters in capitals.
std::string shifted(std::string_view key, bool shift) {
  std::string out(key);
  if (!shift) return out;
  if (out.size() == 1 && out[0] >= 'a' && out[0] <= 'z') {
    out[0] = char(out[0] - 'a' + 'A');
    return out;
  }
  for (const CasePair& p : kNordic) {
    if (key == p.lower) return std::string(p.upper);
  }
  return out;
}

void remove_last_character(std::string& text) {
  if (text.empty()) return;
  text.resize(utf8_prefix_length(text, text.size() - 1));
}

void draw_keys(int w, int h, bool shift) {
  const int top0 = h - kKeyboardHeight;
  for (size_t r = 0; r < kRows.size(); ++r) {
    const KeyRow row = kRows[r];
    const int kw = key_width(w, row.size());
    const int top = top0 + kKeyRowHeight * int(r);
    for (size_t c = 0; c < row.size(); ++c) {
      const int x = kKeysLeft + int(c) * kw;
      ql_rect(x, top, kw, 1, kKeyLineGrey);
      if (c > 0) ql_rect(x, top + 14, 1, 92, kKeyLineGrey);
      const std::string label(ui_utf8_prefix(shifted(row[c], shift), kLabelMax));
      const float size = label.size() <= 2 ? kShortLabelSize : kWordLabelSize;
      const int width = int(ql_measure(label.c_str(), TS_UI, size));
      ql_text(label.c_str(), TS_UI, size, float(x + (kw - width) / 2), float(top + 76));
    }
  }
}

void draw_keyboard(const std::string& title, const KeyboardText& state, bool masked) {
  const int w = ql_fb().width, h = ql_fb().height;
  ui_draw_header(title.c_str());
  ql_frame(48, 254, w - 96, 120, 2);
  const std::string_view shown = ui_utf8_prefix(state.text, kFieldShownMax);
  std::string field = masked ? std::string(shown.size(), '*') : std::string(shown);
  field += '_';
  ui_draw_text_fit(field.c_str(), TS_REGULAR, 54, 72, 330, w - 144);
  draw_keys(w, h, state.shift);
}
}  // namespace

std::string_view keyboard_key_at(int x, int y, int w, int h) {
  const int top = h - kKeyboardHeight;
  if (y < top) return {};
  const size_t r = std::min<size_t>(size_t((y - top) / kKeyRowHeight), kRows.size() - 1);
  const KeyRow row = kRows[r];
  const int kw = key_width(w, row.size());
  const int c = x < kKeysLeft ? 0 : std::min((x - kKeysLeft) / kw, int(row.size()) - 1);
  return row[size_t(c)];
}

KeyResult keyboard_press(KeyboardText& state, std::string_view key) {
  if (key == "Done") return KeyResult::Done;
  if (key == "Cancel") return KeyResult::Cancel;
  if (key == "Shift") {
    state.shift = !state.shift;
    return KeyResult::Edited;
  }
  if (key == "Del") {
    remove_last_character(state.text);
    return KeyResult::Edited;
  }
  const std::string typed = key == "Space" ? std::string(" ") : shifted(key, state.shift);
  // The buffer keeps its last byte free beyond the terminating NUL.
  if (state.capacity >= 2 && state.text.size() + typed.size() < state.capacity - 1) {
    state.text += typed;
  }
  state.shift = false;
  return KeyResult::Edited;
}

std::optional<std::string_view> keyboard_edit(const char* title, size_t title_length, char* buffer,
                                              size_t capacity, const char* initial,
                                              size_t initial_length, bool masked) {
  app.present.waveform = kWaveformFull;
  ql_settle();
  KeyboardText state;
  state.capacity = capacity;
  const size_t longest = capacity > 0 ? capacity - 1 : 0;
  if (initial) state.text = ui_utf8_prefix({initial, initial_length}, longest);
  const std::string shown_title(ui_utf8_prefix({title, title_length}, kTitleMax));
  for (;;) {
    draw_keyboard(shown_title, state, masked);
    TapEvent event;
    if (!ui_present_typing_wait(event)) continue;
    const int x = int(event.x), y = int(event.y);
    const int w = ql_fb().width, h = ql_fb().height;
    if (y < h - kKeyboardHeight) {
      if (y >= kStatusBarBottom && y <= kHeaderBottom && x <= kBackMaxX) return std::nullopt;
      continue;
    }
    switch (keyboard_press(state, keyboard_key_at(x, y, w, h))) {
      case KeyResult::Done:
        if (capacity == 0) return std::string_view();
        memcpy(buffer, state.text.data(), state.text.size());
        buffer[state.text.size()] = '\0';
        return std::string_view(buffer, state.text.size());
      case KeyResult::Cancel: return std::nullopt;
      case KeyResult::Edited: break;
    }
  }
}
