// The audiobook player screen: starts the engine, steers it with commands and redraws from the
// state files it writes. Playback goes on after the screen is left.
#pragma once
#include <array>
#include <cstddef>
#include <functional>
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
// The banner for the engine's error note, or none when the note is about no part of `book`: the
// damaged-file text for the part shown, a text naming the parts that were passed over while the
// book played on, or the no-output text. Of a list of passed-over parts too long for the banner
// (`fits` false) only the first are named, the rest counted.
std::optional<std::string> audio_error_banner(
    const AudioBook& book,
    const std::function<bool(std::string_view)>& fits = [](std::string_view) { return true; });

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
// Heights are those of the portrait screen (1072 x 1448). On a screen wider than high
// (landscape) everything below the cover moves to its right and up by the cover's height, so
// that every row stays on the screen.
struct PlayerGeometry {
  static constexpr int kSide = 48;
  static constexpr int kHeaderBottom = 226;  // taps above leave the screen
  static constexpr int kCoverTop = 242, kCoverSize = 340;
  static constexpr int kRow1Top = 826, kRow1Height = 150;
  static constexpr int kRow2Top = 996, kRow3Top = 1124, kRowHeight = 112;
  // Tap bands: a little wider than the frames, so a tap on a frame's edge counts.
  static constexpr int kRow1TapTop = 821, kRow1TapBottom = 983;
  static constexpr int kRows23TapTop = 991, kRow3TapTop = 1116, kRows23TapBottom = 1241;
  int width = 0;
  bool beside = false;  // landscape: the cover at the left, the rest beside it
  int left = kSide;     // where the title, time, bar, speed line and buttons begin
  int up = 0;           // how far those lie above their portrait place
  int cover_x = 0;
  int column = 0;  // trunc((W - left - 48) / 3)
  PlayerGeometry(int screen_width, int screen_height)
      : width(screen_width),
        beside(screen_width > screen_height),
        left(beside ? kSide + kCoverSize + kSide : kSide),
        up(beside ? kCoverSize : 0),
        cover_x(beside ? kSide : (screen_width - kCoverSize) / 2),
        column((screen_width - left - kSide) / 3) {}
  int text_width() const { return width - left - kSide; }
  int column_x(int k) const { return left + k * column; }
  // A portrait y of anything below the cover, on this screen.
  int y(int portrait_y) const { return portrait_y - up; }
};
PlayerButton player_button_at(const PlayerGeometry& g, int x, int y);
