// The audiobook player screen: starts the engine, steers it with commands and redraws from the
// state files it writes. Playback goes on after the screen is left.
#pragma once
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "audio/audio_book.h"

// Shows the player for `book` until the reader leaves it. Opening it starts nothing.
void audio_player_screen(AudioBook book);

// The speed and sleep-timer choosers, from the player and the settings: a list of the choices
// below; a chosen value is saved in settings.txt and sent to the engine (running or not).
void audio_pick_speed();
void audio_pick_sleep_timer();
constexpr std::array<int, 8> kAudioSpeeds = {75, 100, 125, 150, 175, 200, 250, 300};  // percent
constexpr std::array<int, 7> kAudioTimerMinutes = {0, 5, 15, 30, 45, 60, 90};          // 0 off

// H:MM:SS, hours without a leading zero; negative times count as 0, the fraction is dropped.
std::string audio_format_hms(double seconds);
// The time, three spaces and the label, cut (at a character boundary) to fit `capacity` bytes
// with its terminating NUL: 200 for chapter rows, 360 for bookmark rows.
constexpr size_t kChapterRowBytes = 200;
constexpr size_t kBookmarkRowBytes = 360;
std::string audio_format_list_row(std::string_view time, std::string_view label, size_t capacity);
// "seekto:" and the seconds with one decimal.
std::string audio_build_seekto_cmd(double seconds);
// The banner for the engine's error note, or none when there is no note about a part of `book`
// written in this run: the damaged-file text for the part shown, a text naming a part that was
// passed over while the book played on, or the no-output text.
std::optional<std::string> audio_error_banner(const AudioBook& book);

// The screen's buttons, laid out once for a screen width and read by drawing and taps alike.
enum class PlayerButton {
  None,
  Leave,
  Back30,
  PlayPause,
  Forward30,
  PartsOrChapters,
  Bookmarks,
  Speed,
  Timer,
  Stop
};
struct PlayerGeometry {
  static constexpr int kSide = 48;
  static constexpr int kHeaderBottom = 226;  // taps above leave the screen
  static constexpr int kRow1Top = 826, kRow1Height = 150;
  static constexpr int kRow2Top = 996, kRow3Top = 1124, kRowHeight = 112;
  // Tap bands: a little wider than the frames, so a tap on a frame's edge counts.
  static constexpr int kRow1TapTop = 821, kRow1TapBottom = 983;
  static constexpr int kRows23TapTop = 991, kRow3TapTop = 1116, kRows23TapBottom = 1241;
  int width = 0;
  int column = 0;  // trunc((W - 96) / 3)
  explicit PlayerGeometry(int screen_width)
      : width(screen_width), column((screen_width - 2 * kSide) / 3) {}
  int column_x(int k) const { return kSide + k * column; }
};
PlayerButton player_button_at(const PlayerGeometry& g, int x, int y);
