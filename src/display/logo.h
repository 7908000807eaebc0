// The wordmark: the picture of the splash, shut-down and About screens, and its small form in the
// status bar, set in the embedded interface face. The program shows them as pictures made when it
// is built (app/ui/ui_logo.h), so a start sets no letters for them; this draws them for that step.
#pragma once
#include <cstdint>

constexpr int kLogoWidth = 756;
constexpr int kLogoHeight = 79;
constexpr int kSmallLogoWidth = 269;
constexpr int kSmallLogoHeight = 34;

// Draws the wordmark into `logo` (kLogoWidth x kLogoHeight grey pixels, dark letters on white) and
// its small form, fitted into the status bar's strip, into `small`.
void logo_draw(uint8_t* logo, uint8_t* small);
