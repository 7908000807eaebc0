#include "app/ui/settings_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "base/atomic_file.h"
#include "base/paths.h"

SettingsRecord settings = settings_defaults();

namespace {
constexpr char kDefaultFeed[] = "https://www.gutenberg.org/ebooks/search.opds/?query=dickens";
constexpr size_t kStatePathSize = 512;
// Longer lines than this are read up to it; the rest of such a line is dropped.
constexpr size_t kLineMax = 599;

std::optional<std::string> settings_path() {
  const char* dir = getenv("QUILLO_STATE");
  std::string path = std::string(dir ? dir : "/mnt/us/ql/state") + "/settings.txt";
  if (path.size() >= kStatePathSize) return std::nullopt;
  return path;
}

// Leading decimal digits with an optional sign; 0 when there are none, and a value too large
// for 32 bits saturates (it is out of every range anyway).
int32_t leading_int(std::string_view s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int64_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > INT32_MAX) v = int64_t{INT32_MAX} + 1;
  }
  v = negative ? -v : v;
  return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
}

int32_t in_range(int32_t v, SettingRange r, int32_t fallback) {
  return v >= r.min && v <= r.max ? v : fallback;
}

template <size_t N>
void copy_text(char (&dst)[N], std::string_view s) {
  s = s.substr(0, s.find_first_of("\r\n"));
  size_t n = std::min(s.size(), N - 1);
  memcpy(dst, s.data(), n);
  dst[n] = 0;
}

// "H:M" into the wake time; a part that does not scan keeps its value.
void read_wake(SettingsRecord& r, std::string_view s) {
  std::string text(s);
  int h = 0, m = 0;
  int got = sscanf(text.c_str(), "%d:%d", &h, &m);
  if (got >= 1) r.wake_hour = h;
  if (got >= 2) r.wake_min = m;
}

void read_line(SettingsRecord& r, std::string_view line) {
  struct NumberKey {
    std::string_view key;
    int32_t SettingsRecord::* field;
  };
  static constexpr NumberKey kNumbers[] = {
      {"font=", &SettingsRecord::font},     {"margin=", &SettingsRecord::margin},
      {"line=", &SettingsRecord::line},     {"light=", &SettingsRecord::light},
      {"speed=", &SettingsRecord::speed},   {"sleeptimer=", &SettingsRecord::sleeptimer},
  };
  for (const NumberKey& k : kNumbers) {
    if (line.starts_with(k.key)) {
      r.*k.field = leading_int(line.substr(k.key.size()));
      return;
    }
  }
  if (line.starts_with("wake=")) read_wake(r, line.substr(5));
  else if (line.starts_with("opds=")) copy_text(r.opds, line.substr(5));
  else if (line.starts_with("morning=")) copy_text(r.morning, line.substr(8));
  else if (line.starts_with("bt=")) copy_text(r.bt, line.substr(3));
}

// Values the screens never produce come back as their defaults.
void keep_in_range(SettingsRecord& r) {
  const SettingsRecord d;
  r.font = in_range(r.font, kFontRange, d.font);
  r.margin = in_range(r.margin, kMarginRange, d.margin);
  r.line = in_range(r.line, kLineRange, d.line);
  r.light = in_range(r.light, kLightRange, d.light);
  r.wake_hour = in_range(r.wake_hour, kWakeHourRange, d.wake_hour);
  r.wake_min = in_range(r.wake_min, kWakeMinRange, d.wake_min);
  r.speed = in_range(r.speed, kSpeedRange, d.speed);
  r.sleeptimer = in_range(r.sleeptimer, kSleepTimerRange, d.sleeptimer);
}
}  // namespace

SettingsRecord settings_defaults() {
  SettingsRecord r;
  copy_text(r.opds, kDefaultFeed);
  return r;
}

void qls_load(SettingsRecord& r) {
  r = settings_defaults();
  auto path = settings_path();
  if (!path) return;
  FilePtr f(qlp_fopen(path->c_str(), "rb"));
  if (!f) return;
  char buf[kLineMax + 1];
  bool continuation = false;
  while (fgets(buf, sizeof buf, f.get())) {
    std::string_view line(buf, strlen(buf));
    bool whole = line.ends_with('\n') || line.size() < kLineMax;
    // The rest of an over-long line is not a line of its own.
    if (!continuation) read_line(r, line);
    continuation = !whole;
  }
  keep_in_range(r);
}

bool qls_save(const SettingsRecord& r) {
  auto path = settings_path();
  if (!path) return false;
  qlp_mkdir(path->substr(0, path->rfind('/')).c_str(), 0755);
  char text[2048];
  int n = snprintf(text, sizeof text,
                   "font=%d\nmargin=%d\nline=%d\nlight=%d\nwake=%02d:%02d\nopds=%s\nmorning=%s\n"
                   "bt=%s\nspeed=%d\nsleeptimer=%d\n",
                   r.font, r.margin, r.line, r.light, r.wake_hour, r.wake_min, r.opds, r.morning,
                   r.bt, r.speed, r.sleeptimer);
  if (n < 0 || static_cast<size_t>(n) >= sizeof text) return false;
  return file_update_atomic(path->c_str(), text, static_cast<size_t>(n));
}
