// The one present step every screen ends its drawing with: the appearance, then either the
// screenshot countdown or the host's present.
#pragma once

// Sets app.present.inverted from the appearance choice (follow the system, light or dark) and hands
// it to the frame.
void ui_apply_appearance();

// Dark mode on or off as the user sees it now: the appearance becomes Light or Dark (no longer
// following the system), saved to ui.txt, and the next present is a full refresh.
void ui_toggle_dark();

// Applies the appearance and shows the frame: a full refresh, or a partial one with
// app.present.waveform. In the screenshot mode nothing is shown; the present that finds
// app.screenshot.frames at 1 writes the PNG and ends the process with status 0.
void ui_present(bool full);
