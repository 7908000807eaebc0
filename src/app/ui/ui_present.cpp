#include "app/ui/ui_present.h"

#include <cstdlib>

#include "app/ui/app_state.h"
#include "app/ui/ui_state.h"
#include "display/device_facts.h"
#include "display/framebuffer.h"

namespace {
// The countdown of the screenshot mode: the frame that ends it is the screen asked for; frames
// drawn before it (an "Opening..." toast, say) only count.
void count_screenshot_frame() {
  const uint32_t left = app.screenshot.frames;
  if (left > 1) {
    app.screenshot.frames = left - 1;
    return;
  }
  app.screenshot.frames = 0;
  // A PNG that cannot be written is not the screen's fault: the mode still ends as drawn.
  if (app.screenshot.png) ql_png(app.screenshot.png);
  exit(0);
}
}  // namespace

void ui_apply_appearance() {
  const uint8_t a = ui_state.appearance;
  app.present.inverted = a == kAppearanceDark || (a == kAppearanceSystem && ql_system_dark() != 0);
  ql_set_invert(app.present.inverted ? 1 : 0);
}

void ui_toggle_dark_mode() {
  ui_state.appearance = app.present.inverted ? kAppearanceLight : kAppearanceDark;
  app.present.inverted = !app.present.inverted;
  app.present.clean = false;
  ui_save();
}

void ui_present(bool full) {
  app_assert_core();
  ui_apply_appearance();
  if (app.screenshot.on) {
    count_screenshot_frame();
    return;
  }
  ql_present(full ? 1 : 0, static_cast<int>(app.present.waveform));
}
