#include "app/ui/ui_confirm.h"

#include <algorithm>
#include <string>

#include "app/ui/app_state.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "display/framebuffer.h"

namespace {
constexpr int kBoxX = 48;
constexpr int kBoxHalfH = 240;
constexpr int kBoxFrame = 4;
constexpr int kTextX = 88;
constexpr int kMessageSize = 54;
constexpr int kMessageLineHeight = 62;
constexpr int kButtonTop = 80;  // below the middle row
constexpr float kButtonSize = 54;
constexpr int kButtonBaseline = 76;  // below the button's top
constexpr size_t kActionMax = 63;
}  // namespace

void ui_draw_button(const char* label, TextStyle face, int x, int top, int width, int frame) {
  ql_frame(x, top, width, kUiButtonHeight, frame);
  const int text_width = int(ql_measure(label, face, kButtonSize));
  ql_text(label, face, kButtonSize, float(x + (width - text_width) / 2),
          float(top + kButtonBaseline));
}

ConfirmGeometry confirm_geometry(int w, int h) {
  const int bw = (w - 208) / 2;
  return {h / 2, bw, bw + 120};
}

ConfirmTap confirm_hit(const ConfirmGeometry& g, int x, int y) {
  // The whole button band answers, beside the buttons too; the gap between them is split evenly.
  if (y > g.cy + 70 && y < g.cy + 210) return x >= g.button_width + 104 ? ConfirmTap::Action
                                                                         : ConfirmTap::Cancel;
  if (y < g.cy - kBoxHalfH || y > g.cy + kBoxHalfH) return ConfirmTap::Cancel;
  return ConfirmTap::Ignore;
}

bool ui_confirm(const char* message, size_t message_length, const char* action,
                size_t action_length) {
  app.present.waveform = kWaveformFull;
  ql_settle();
  const int w = ql_fb().width;
  const ConfirmGeometry g = confirm_geometry(w, ql_fb().height);
  ql_rect(kBoxX, g.cy - kBoxHalfH, w - 2 * kBoxX, 2 * kBoxHalfH, 255);
  ql_frame(kBoxX, g.cy - kBoxHalfH, w - 2 * kBoxX, 2 * kBoxHalfH, kBoxFrame);
  ui_draw_wrapped(message, message_length, TS_REGULAR, kMessageSize, kTextX, g.cy - 150,
                  w - 2 * kTextX, kMessageLineHeight);
  const std::string action_label(ui_utf8_prefix({action, action_length}, kActionMax));
  const int top = g.cy + kButtonTop;
  ui_draw_button("Cancel", TS_UI, kTextX, top, g.button_width, 2);
  ui_draw_button(action_label.c_str(), TS_UI_BOLD, g.action_x, top, g.button_width, 4);
  ui_present(false);
  for (;;) {
    TapEvent event;
    ui_wait_event(event);
    if (event.code != TAP_TOUCH) return false;
    ConfirmTap tap = confirm_hit(g, int(event.x), int(event.y));
    // A touch that slid off the action button is not a yes.
    if (tap == ConfirmTap::Action && confirm_hit(g, int(event.x2), int(event.y2)) != tap)
      tap = ConfirmTap::Cancel;
    switch (tap) {
      case ConfirmTap::Action: return true;
      case ConfirmTap::Cancel: return false;
      case ConfirmTap::Ignore: break;
    }
  }
}
