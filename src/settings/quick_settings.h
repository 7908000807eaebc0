// The quick settings panel, opened from the status bar of the reader's toolbar.
#pragma once

// Runs until back or a closing action.
void quick_settings_panel();
