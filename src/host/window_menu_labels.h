// The window's File menu as the user sees it: the item labels and the shortcuts GTK prints beside
// them. Screens that tell the user where to find an item (About) name them from here.
#pragma once

constexpr const char* kMenuFile = "File";
constexpr const char* kMenuAddBooks = "Add Books\u2026";
constexpr const char* kMenuAddBookFolder = "Add Book Folder\u2026";
constexpr const char* kMenuShowLibraryFolder = "Show Library Folder";
// GTK 3 names the modifiers Shift first, then Ctrl.
constexpr const char* kShortcutAddBooks = "Ctrl+O";
constexpr const char* kShortcutAddBookFolder = "Shift+Ctrl+O";
