// The named screens of the screenshot mode ("--screen name png [book [page]]").
#pragma once
#include <span>
#include <string_view>

// Draws the screen; one that presents writes the PNG and ends the process with status 0. A
// function that returns has drawn nothing that presents.
using ScreenShotFn = void (*)(std::string_view name);

struct ScreenShot {
  std::string_view name;
  ScreenShotFn show;  // null while the screen is not part of the program yet
};

// In matching order.
std::span<const ScreenShot> screen_shots();
