// Stand-in until the player screen exists: an audiobook tapped in the library opens nothing.
#include "audio/audio_player.h"

void audio_player_screen(const char*, size_t) {}
