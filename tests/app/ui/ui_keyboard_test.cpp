// The on-screen keyboard and the go-to-page keypad: typing sequences through real touches, key
// geometry, and the edges (Shift, Del of a two-byte letter, a full buffer, 0 pages).
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/reader/paginator.h"
#include "app/reader/ui_goto_page.h"
#include "app/ui/ui_keyboard.h"
#include "support/ui_screen_fixture.h"

namespace {

// The middle of a key of the portrait keyboard, by row and column.
struct KeyPoint {
  int x, y;
};
KeyPoint key_point(int row, int col, int w, int h) {
  const int n = (row == 0 || row == 4) ? 10 : 11;
  const int kw = (w - 16) / n;
  return {8 + col * kw + kw / 2, h - kKeyboardHeight + row * kKeyRowHeight + 60};
}

// Where each label sits, for scripting: labels as a person reads them.
KeyPoint find_key(std::string_view label, int w, int h) {
  for (int row = 0; row < kKeyboardRows; ++row) {
    for (int col = 0; col < 11; ++col) {
      const KeyPoint p = key_point(row, col, w, h);
      if (keyboard_key_at(p.x, p.y, w, h) == label) return p;
    }
  }
  ADD_FAILURE() << "no key " << label;
  return {0, 0};
}

using Keyboard = ScreenTest;

TEST_F(Keyboard, KeyGeometryCoversTheWholeWidth) {
  struct Case {
    const char* name;
    int x, y;
    std::string_view key;
  };
  const int top = 1448 - kKeyboardHeight;
  const Case cases[] = {
      {"above the keyboard", 500, top - 1, ""},
      {"top-left key", 8, top, "1"},
      {"left of the first key", 0, top + 10, "1"},
      {"right edge", 1071, top + 10, "0"},
      {"last row's last key", 1071, 1447, "Done"},
      {"below the last row counts as it", 583, 1447, "Space"},
      {"Nordic letter", 1060, top + 130, "\xC3\xA5"},
      {"Shift", 20, top + 3 * 120 + 5, "Shift"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(keyboard_key_at(c.x, c.y, 1072, 1448), c.key);
  }
}

TEST_F(Keyboard, PressSequences) {
  const std::string a_ring = "\xC3\xA5", A_ring = "\xC3\x85", o_uml = "\xC3\xB6";
  struct Case {
    const char* name;
    std::string initial;
    size_t capacity;
    std::vector<std::string_view> keys;
    std::string text;
    bool shift_after;
  };
  const Case cases[] = {
      {"shift is one-shot", "", 64, {"Shift", "a", "b"}, "Ab", false},
      {"shift a Nordic letter", "", 64, {"Shift", a_ring}, A_ring, false},
      {"shift twice is off", "", 64, {"Shift", "Shift", "q"}, "q", false},
      {"shift leaves digits alone and still ends", "", 64, {"Shift", "1", "x"}, "1x", false},
      {"del removes a two-byte letter whole", "", 64, {"x", o_uml, "Del"}, "x", false},
      {"del on empty text", "", 64, {"Del", "Del"}, "", false},
      {"space", "a", 64, {"Space", "b"}, "a b", false},
      {"del keeps shift", "", 64, {"Shift", "Del"}, "", true},
      {"a full buffer drops the key and shift", "", 4, {"a", "b", "Shift", "c"}, "ab", false},
      {"a letter that would not fit whole is dropped", "ab", 5, {a_ring}, "ab", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    KeyboardText state{c.initial, c.capacity, false};
    for (std::string_view k : c.keys) EXPECT_EQ(keyboard_press(state, k), KeyResult::Edited);
    EXPECT_EQ(state.text, c.text);
    EXPECT_EQ(state.shift, c.shift_after);
  }
  KeyboardText state{"x", 64, false};
  EXPECT_EQ(keyboard_press(state, "Done"), KeyResult::Done);
  EXPECT_EQ(keyboard_press(state, "Cancel"), KeyResult::Cancel);
}

TEST_F(Keyboard, TextStopsGrowingTwoBytesBelowTheCapacity) {
  KeyboardText state{"", 64, false};
  for (int i = 0; i < 100; ++i) keyboard_press(state, "k");
  EXPECT_EQ(state.text.size(), 62u);
}

TEST_F(Keyboard, TypingThroughTouchesEndsInTheCallersBuffer) {
  for (std::string_view key : {"Shift", "h", "i", "Space", "\xC3\xA5", "Del", "!", "Done"}) {
    if (key == "!") key = "?";
    const KeyPoint p = find_key(key, W(), H());
    touches_.touch(p.x, p.y);
  }
  char buffer[64];
  memset(buffer, 'z', sizeof buffer);
  const auto text = keyboard_edit("Search library", 14, buffer, sizeof buffer, "x", 1, false);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, "xHi ?");
  EXPECT_STREQ(buffer, "xHi ?");
  EXPECT_EQ(text->data(), buffer);
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(app.present.waveform, 1u);  // typing refreshes with the fast waveform
}

TEST_F(Keyboard, CancelBackAndIgnoredTaps) {
  char buffer[16] = "keep";
  const KeyPoint cancel = find_key("Cancel", W(), H());
  touches_.touch(cancel.x, cancel.y);
  EXPECT_EQ(keyboard_edit("T", 1, buffer, sizeof buffer, "new", 3, false), std::nullopt);
  EXPECT_STREQ(buffer, "keep");  // the buffer is written only on Done

  touches_.touch(500, 600);   // the empty middle: ignored
  touches_.touch(240, 150);   // right of the back arrow: ignored
  touches_.event(HOST_APPEARANCE);  // redraws
  touches_.touch(239, 88);    // the back arrow
  EXPECT_EQ(keyboard_edit("T", 1, buffer, sizeof buffer, "", 0, false), std::nullopt);
  EXPECT_TRUE(ScriptedTouch::done());

  touches_.event(HOST_DEVICE_EVENT_2);  // the back key
  EXPECT_EQ(keyboard_edit("T", 1, buffer, sizeof buffer, "", 0, false), std::nullopt);
}

TEST_F(Keyboard, InitialTextIsCutToTheBufferAtACharacter) {
  const std::string initial = "abcdefghijklmn\xC3\xA5";  // 16 bytes, the last letter 2
  char buffer[16];
  const KeyPoint done = find_key("Done", W(), H());
  touches_.touch(done.x, done.y);
  const auto text = keyboard_edit("T", 1, buffer, sizeof buffer, initial.data(), initial.size(), false);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, "abcdefghijklmn");
}

TEST_F(Keyboard, FieldShowsMaskedAndLongTexts) {
  char buffer[400];
  touches_.touch(10, 10);  // the status bar: ignored, and the script ends on the drawn screen
  EXPECT_THROW(keyboard_edit("Password", 8, buffer, sizeof buffer, "secret", 6, true), ScriptEnded);
  EXPECT_LT(darkest(72, 290, 200, 50), 128);  // stars and the cursor
  const std::string long_text(300, 'w');
  touches_.touch(10, 10);
  EXPECT_THROW(keyboard_edit("Note", 4, buffer, sizeof buffer, long_text.c_str(), long_text.size(),
                             false),
               ScriptEnded);
  EXPECT_EQ(darkest(W() - 71, 260, 20, 110), 255);  // nothing drawn past the field's text width
  EXPECT_LT(darkest(72, 280, 200, 60), 128);
}

using Keypad = ScreenTest;

TEST_F(Keypad, DigitsAndTargets) {
  std::string digits;
  for (const char* k : {"1", "2", "3", "4", "5", "6", "7"}) keypad_press(digits, k);
  EXPECT_EQ(digits, "123456");  // six at most
  keypad_press(digits, "Del");
  EXPECT_EQ(digits, "12345");
  EXPECT_TRUE(keypad_press(digits, "Go"));

  struct Case {
    const char* name;
    std::string digits;
    uint64_t pages;
    bool move;
    uint64_t page;
  };
  const Case cases[] = {
      {"nothing typed", "", 10, false, 0},
      {"page 5 is index 4", "5", 10, true, 4},
      {"0 is the first page", "0", 10, true, 0},
      {"past the end is the last page", "999999", 10, true, 9},
      {"a book of no pages stays", "3", 0, false, 0},
      {"a book of one page", "7", 1, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const KeypadTarget t = keypad_target(c.digits, c.pages);
    EXPECT_EQ(t.move, c.move);
    if (c.move) {
      EXPECT_EQ(t.page, c.page);
    }
  }
}

TEST_F(Keypad, GeometryInPortraitAndLandscape) {
  const KeypadGeometry p = keypad_geometry(1072, 1448);
  EXPECT_EQ(p.row_height, 216);
  EXPECT_EQ(keypad_key_at(p, 10, 479), "");
  EXPECT_EQ(keypad_key_at(p, 10, 480), "1");
  EXPECT_EQ(keypad_key_at(p, 1071, 480 + 3 * 216 + 5), "Go");
  EXPECT_EQ(keypad_key_at(p, 400, 1447), "0");
  EXPECT_EQ(keypad_key_at(p, 357, 700), "5");
  // Landscape: every row, Go included, lies on the 1072-pixel-high screen.
  const KeypadGeometry l = keypad_geometry(1448, 1072);
  EXPECT_LE(l.top + 4 * l.row_height, 1072);
  EXPECT_EQ(keypad_key_at(l, 1447, 1071), "Go");
}

class GotoPage : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    layout.page_starts.assign(40, 0);
    app.reader.page = 12;
  }
  void TearDown() override {
    layout.page_starts.clear();
    ScreenTest::TearDown();
  }
  void press(const char* label) {
    const KeypadGeometry g = keypad_geometry(W(), H());
    for (int row = 0; row < 4; ++row)
      for (int col = 0; col < 3; ++col) {
        const int x = col * g.key_width + g.key_width / 2, y = g.top + row * g.row_height + 50;
        if (keypad_key_at(g, x, y) == label) return touches_.touch(x, y);
      }
    ADD_FAILURE() << label;
  }
};

TEST_F(GotoPage, GoMovesAndSetsTheBackMark) {
  press("2");
  press("9");
  press("9");
  press("Del");
  press("Go");
  goto_page_dialog();
  EXPECT_EQ(app.reader.page, 28u);
  EXPECT_TRUE(app.reader.back_valid);
  EXPECT_EQ(app.reader.back_page, 12u);
  EXPECT_TRUE(ScriptedTouch::done());
}

TEST_F(GotoPage, LeavingWithoutMoving) {
  press("Go");  // nothing typed
  goto_page_dialog();
  press("4");
  touches_.touch(500, 300);  // the field: ignored
  touches_.touch(500, 200);  // the header: leave
  goto_page_dialog();
  EXPECT_EQ(app.reader.page, 12u);
  EXPECT_FALSE(app.reader.back_valid);
  EXPECT_TRUE(ScriptedTouch::done());
}

TEST_F(GotoPage, ABookWithoutPagesDoesNotMove) {
  layout.page_starts.clear();
  app.reader.page = 0;
  press("5");
  press("Go");
  goto_page_dialog();
  EXPECT_EQ(app.reader.page, 0u);
  EXPECT_FALSE(app.reader.back_valid);
}

TEST_F(GotoPage, LandscapeReachesGo) {
  ql_set_rotation(1);
  press("1");
  press("Go");
  goto_page_dialog();
  EXPECT_EQ(app.reader.page, 0u);
  EXPECT_TRUE(app.reader.back_valid);
}

}  // namespace
