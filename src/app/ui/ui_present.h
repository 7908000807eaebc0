// The one present step every screen ends its drawing with: the appearance, then either the
// screenshot countdown or the host's present.
#pragma once

// Sets app.present.inverted from the appearance choice (follow the system, light or dark) and hands
// it to the frame.
void ui_apply_appearance();

// Dark mode on or off from a settings row: the appearance becomes Light or Dark (a System choice
// ends), the frame flips, ui.txt is saved and the next present is a full refresh.
void ui_toggle_dark_mode();

// Applies the appearance and shows the frame: a full refresh, or a partial one with
// app.present.waveform. In the screenshot mode nothing is shown; the present that finds
// app.screenshot.frames at 1 writes the PNG and ends the process with status 0.
void ui_present(bool full);
