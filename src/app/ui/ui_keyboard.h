// The on-screen keyboard that edits a short text (search words, passwords, notes, addresses).
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Edits a text in the caller's buffer of `capacity` bytes, starting from `initial`; `masked` shows
// every byte as "*". Done gives the text (NUL-terminated in the buffer); Cancel or back gives none.
std::optional<std::string_view> keyboard_edit(const char* title, size_t title_length, char* buffer,
                                              size_t capacity, const char* initial,
                                              size_t initial_length, bool masked);

constexpr int kKeyboardRows = 5;
constexpr int kKeyRowHeight = 120;
constexpr int kKeyboardHeight = 620;  // the keyboard's top edge is this far above the bottom

// The label of the key under (x, y) on a screen of w x h; empty above the keyboard.
std::string_view keyboard_key_at(int x, int y, int w, int h);

// The text being edited and the one-shot Shift.
struct KeyboardText {
  std::string text;
  size_t capacity = 0;  // of the caller's buffer
  bool shift = false;
};
enum class KeyResult { Edited, Done, Cancel };
// Applies one key by its label.
KeyResult keyboard_press(KeyboardText& state, std::string_view key);
