// The Morning Paper screen: today's edition and the paper's settings.
#pragma once

// Runs the screen while the main loop's view is the Morning Paper (2).
void morning_paper_screen();
