// The GTK window front end.
#pragma once

// Reads the system appearance, builds the menus and the window and shows it. False when no display
// can be opened.
bool window_front_init(int* argc, char*** argv);
// Runs the window's main loop; the process ends from the core thread or by a quit.
[[noreturn]] void window_front_run();
