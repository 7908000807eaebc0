// The Audiobooks page: the player's speed and sleep timer, chosen ahead of playing.
#include <array>

#include "app/ui/settings_file.h"
#include "audio/audio_player.h"
#include "settings/settings_page_parts.h"

void audiobooks_page() {
  const std::vector<std::string> rows = {
      "Speed: " + std::to_string(settings.speed) + "%",
      settings.sleeptimer == 0 ? std::string("Sleep timer: Off")
                               : "Sleep timer: " + std::to_string(settings.sleeptimer) + " min",
  };
  const std::optional<size_t> chosen = settings_choose("Audiobooks", rows);
  if (!chosen) return;
  if (*chosen == 0) audio_pick_speed();
  else audio_pick_sleep_timer();
}
