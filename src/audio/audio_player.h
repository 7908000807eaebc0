// The audiobook player screen.
#pragma once
#include <cstddef>

// Plays the audiobook at `path` and shows the player until the user leaves it.
void audio_player_screen(const char* path, size_t length);
