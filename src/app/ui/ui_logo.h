// The wordmark's pictures, made from the embedded interface face when the program is built
// (display/logo.h): show them with ql_blit(ql_logo(), kLogoWidth, kLogoHeight, x, y).
#pragma once
#include <cstdint>

#include "display/logo.h"

// kLogoWidth x kLogoHeight grey pixels: the splash, shut-down and About screens.
const uint8_t* ql_logo();
// kSmallLogoWidth x kSmallLogoHeight grey pixels: the status bar.
const uint8_t* ql_small_logo();
