// The store's home screen.
#pragma once

// Runs the screen while the main loop's view is the store (3 or more).
void store_home_screen();
