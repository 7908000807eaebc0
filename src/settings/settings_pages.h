// The all-settings screen ("Settings"), reached from the quick settings, the library menu and the
// book menu.
#pragma once

// Runs until back.
void settings_pages();
