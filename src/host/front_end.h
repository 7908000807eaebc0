// The GTK window front end. It is a module of its own ("quillo-window.so" beside the program, or in
// lib/quillo beside its folder) that start-up loads only when it opens a window, so the tool modes
// and headless runs never load GTK and its many libraries.
#pragma once

// Loads the module, reads the system appearance, builds the menus and the window and shows it.
// Null when shown, else the reason it cannot be ("No display" when no display can be opened).
const char* window_front_init(int* argc, char*** argv);
// Runs the window's main loop; the process ends from the core thread or by a quit.
[[noreturn]] void window_front_run();
// Shows `text` in a message box, without the program's window, until the user closes it. False
// when it cannot be shown (no display, no module).
bool window_front_alert(int* argc, char*** argv, const char* text);

// The module's entry points, found by name once it is loaded; the only names it exports.
extern "C" {
// False when no display can be opened.
[[gnu::visibility("default")]] bool quillo_window_init(int* argc, char*** argv);
[[gnu::visibility("default"), noreturn]] void quillo_window_run();
[[gnu::visibility("default")]] bool quillo_window_alert(int* argc, char*** argv, const char* text);
}
