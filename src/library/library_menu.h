// The library menu: sort, Show filter and collections, opened from the library's sort bar.
#pragma once

// Runs the menu until it is closed; a change of sort or filter rebuilds the view.
void library_menu();
