// The main loop: the library and reader views, the refresh policy, position saving, pre-rendered
// pages, queued covers, and the dispatch of every input event.
#pragma once
#include "app/ui/ui_wait.h"

// Runs the loop for good; the process ends from the input waits.
[[noreturn]] void main_loop();
// One pass: storage, battery, rotation, draw, present, save, pre-render, covers, wait, dispatch.
void main_loop_pass();

// The steps a pass is made of, for tests that drive them one by one.
void main_loop_check_battery();
void main_loop_save_position();
void main_loop_dispatch(const TapEvent& event);

// The early page-turn zone of the reader on a screen of w x h: the side quarters between `top`
// and `bottom`. It starts below the bookmark corner, so a touch there stays a completed touch.
struct EarlyZone {
  int edge;
  int top;
  int bottom;
};
EarlyZone reader_early_zone(int w, int h);
