// The Morning Paper screen: today's edition and the paper's settings.
#pragma once
#include <cstdint>
#include <vector>

// Runs the screen while the main loop's view is the Morning Paper (2).
void morning_paper_screen();
// The "Feed and wake time" menu: the feed and direct links, the wake time and the morning wake.
void morning_settings_menu();
// The Morning Paper editions of the last scan (at most 2000), newest first.
std::vector<uint64_t> morning_editions();
