// The yes/no confirmation box, drawn over the current screen.
#pragma once
#include <cstddef>

#include "display/fonts.h"

// Shows the message with "Cancel" and the action (at most 63 bytes) as buttons. True only when the
// action was tapped; Cancel, a tap outside the box or any other event answers false.
bool ui_confirm(const char* message, size_t message_length, const char* action,
                size_t action_length);

// Where the box and its buttons lie on a screen of w x h.
struct ConfirmGeometry {
  int cy;             // the screen's middle row
  int button_width;
  int action_x;       // the action button's left edge (Cancel's is 88)
};
ConfirmGeometry confirm_geometry(int w, int h);

enum class ConfirmTap { Ignore, Cancel, Action };
ConfirmTap confirm_hit(const ConfirmGeometry& g, int x, int y);

// A button of kUiButtonHeight at (x, top): an outline `frame` pixels thick and the label centred in
// `face` at size 54.
constexpr int kUiButtonHeight = 120;
void ui_draw_button(const char* label, TextStyle face, int x, int top, int width, int frame);
