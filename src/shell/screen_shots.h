// The named screens of the screenshot mode ("--screen name png [book [page]]").
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Draws the screen; one that presents writes the PNG and ends the process with status 0. A
// function that returns has drawn nothing that presents.
using ScreenShotFn = void (*)(std::string_view name);

// What a screen needs of a book: none, the book given on the command line (drawn without one when
// none is given), or the first one the documents folder holds (nothing is drawn without it).
enum class ScreenBook : uint8_t { None, Given, InLibrary };

struct ScreenShot {
  std::string_view name;
  ScreenShotFn show;  // null while the screen is not part of the program yet
  ScreenBook book = ScreenBook::None;
};

// In matching order.
std::span<const ScreenShot> screen_shots();
// The screen of that name, or null.
const ScreenShot* screen_shot_named(std::string_view name);
// Every name, in matching order, separated by ", ".
std::string screen_shot_names();
