// Pieces of the GTK window front end shared between its files (main thread only).
#pragma once
#include <gtk/gtk.h>

// The window title and the name people see in menus.
constexpr char kProductName[] = "Corvell Nalo";

// The menu bar with the file commands, their shortcuts attached to `window`.
GtkWidget* window_menu_bar(GtkWindow* window);
// The file chooser for books (several files) or for book folders; adds what was picked.
void window_choose_books(GtkWindow* parent, bool folders);

// Reads the system appearance once (settings portal over D-Bus, else the GTK theme) and follows
// its changes, posting "appearance changed" on each.
void window_follow_appearance();
