#include "app/ui/ui_state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "app/ui/app_state.h"
#include "app/ui/time_zones.h"
#include "base/atomic_file.h"
#include "base/number_parse.h"
#include "base/paths.h"
#include "base/text_lines.h"

UiState ui_state;
uint8_t tz_written = 255;

namespace {
// Longer lines than this are read up to it; the rest of such a line is dropped.
constexpr size_t kLineMax = 255;
constexpr uint8_t kFilterRead = 5;

uint8_t clamp_u8(int32_t v, int32_t max) { return static_cast<uint8_t>(std::clamp(v, 0, max)); }

void store(std::string_view key, int32_t v) {
  UiState& u = ui_state;
  if (key == "grid") u.grid = v != 0;
  else if (key == "sort") u.sort = clamp_u8(v, 2);
  // Filters 6 and 7 name a collection or an author that is not saved with them, so a stored
  // one cannot be restored; showing everything is the honest fallback.
  else if (key == "filter") u.filter = v >= 0 && v <= kFilterRead ? static_cast<uint8_t>(v) : 0;
  else if (key == "night") {
    app.present.inverted = v != 0;
    if (v != 0) u.appearance = 2;
  }
  else if (key == "appearance") u.appearance = clamp_u8(v, 2);
  else if (key == "tz") u.tz = clamp_u8(v, static_cast<int32_t>(time_zones.size()) - 1);
  else if (key == "sleep") u.sleep = v;
  else if (key == "cover") u.cover = v != 0;
  else if (key == "refresh") u.refresh = v;
  else if (key == "morning") u.morning = v != 0;
  else if (key == "align") u.align = v != 0;
  else if (key == "buy") u.buy = v > 0;
  else if (key == "pq") u.pq = clamp_u8(v, 2);
  else if (key == "foot") u.foot = clamp_u8(v, 3);
  else if (key == "land") u.land = v != 0;
}

void read_line(std::string_view line) {
  line = line.substr(0, trimmed_length(line));
  size_t eq = line.find('=');
  if (line.empty() || eq == std::string_view::npos) return;
  if (auto v = parse_signed(line.substr(eq + 1))) store(line.substr(0, eq), *v);
}
}  // namespace

void ui_state_load() {
  FilePtr f(qlp_fopen(kUiStatePath, "rb"));
  if (!f) return;
  char buf[kLineMax + 1];
  bool continuation = false;
  while (fgets(buf, sizeof buf, f.get())) {
    std::string_view line(buf, strlen(buf));
    if (!continuation) read_line(line);
    continuation = !line.ends_with('\n') && line.size() >= kLineMax;
  }
}

bool ui_save() {
  app_assert_core();
  const UiState& u = ui_state;
  char text[512];
  int n = snprintf(text, sizeof text,
                   "grid=%d\nsort=%d\nfilter=%d\nnight=%d\nappearance=%d\ntz=%d\nsleep=%d\n"
                   "cover=%d\nrefresh=%d\nmorning=%d\nalign=%d\nland=%d\nfoot=%d\npq=%d\nbuy=%d\n",
                   u.grid, u.sort, u.filter, app.present.inverted, u.appearance, u.tz, u.sleep,
                   u.cover, u.refresh, u.morning, u.align, u.land, u.foot, u.pq, u.buy);
  bool saved = n > 0 && static_cast<size_t>(n) < sizeof text &&
               file_update_atomic(kUiStatePath, text, static_cast<size_t>(n));
  // tz.txt is retried at every save until a write of the current zone succeeds; the device side
  // takes it at every start, so the first save of a run writes it whatever it holds.
  if (u.tz != tz_written && u.tz < time_zones.size()) {
    const char* tz = time_zones[u.tz].posix_tz;
    if (file_write_atomic(kTzPath, tz, strlen(tz))) tz_written = u.tz;
  }
  return saved;
}
