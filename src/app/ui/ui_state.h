// The interface choices kept in ui.txt, and tz.txt written beside it.
#pragma once
#include <cstdint>

// UiState::appearance.
constexpr uint8_t kAppearanceSystem = 0;  // follow the host's dark mode
constexpr uint8_t kAppearanceLight = 1;
constexpr uint8_t kAppearanceDark = 2;

// The persisted keys; the fifteenth, `night`, is AppState's `inverted`.
struct UiState {
  bool grid = false;       // library as a grid, else a list
  uint8_t sort = 0;        // 0 Recent, 1 Title, 2 Author
  uint8_t filter = 0;      // library Show filter 0..7
  uint8_t appearance = 0;  // 0 follow the system, 1 light, 2 dark
  uint8_t tz = 0;          // row of time_zones
  int32_t sleep = 10;      // sleep-after setting
  bool cover = true;       // sleep screen shows the book cover, else a clock
  int32_t refresh = 12;    // full refresh every N page turns; 0 or less never
  bool morning = true;     // Morning Paper wake-up
  bool align = false;      // ragged right, else justified
  bool buy = false;        // after buying, keep the book in the library instead of opening it
  uint8_t pq = 1;          // page-turn quality: 0 Fastest, 1 Balanced, 2 Sharpest
  uint8_t foot = 0;        // footer mode 0..3
  bool land = false;       // landscape while reading
};

// Only the core thread touches it (see app_assert_core).
extern UiState ui_state;
// The zone last written to tz.txt; 255 until the first write of the run. Core thread only.
extern uint8_t tz_written;

constexpr char kUiStatePath[] = "/mnt/us/ql/state/ui.txt";
constexpr char kTzPath[] = "/mnt/us/ql/state/tz.txt";

// Reads ui.txt into ui_state (and `night` into app.present.inverted); a missing file leaves the
// values.
void ui_state_load();
// Replaces ui.txt, and tz.txt when the zone differs from the one last written. True when ui.txt
// was written.
bool ui_save();
