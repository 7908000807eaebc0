#include "app/tool_modes.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/number_parse.h"
#include "app/screen_shots.h"
#include "app/settings_file.h"
#include "app/ui_state.h"
#include "display/framebuffer.h"
#include "display/hyphenation.h"
#include "display/ql_error.h"

namespace {
constexpr int kMaxBreaks = 24;

// The modes whose engines are not part of this program yet fail as an unopenable book does.
AppResult not_built(const char* what) {
  fprintf(stderr, "quillo: %s is not built yet\n", what);
  return 1u;
}

// The frame exists but is never shown.
bool init_headless() {
  if (ql_init(1)) return true;
  fprintf(stderr, "%s\n", ql_error());
  return false;
}

std::string hyphenated(const char* word) {
  uint32_t points[kMaxBreaks];
  int n = ql_hyphens(word, points, kMaxBreaks);
  size_t len = strlen(word);
  std::string out;
  size_t from = 0;
  for (int i = 0; i < n; ++i) {
    // Break points are ascending offsets inside the word; anything else is not ours to print.
    if (points[i] <= from || points[i] >= len) continue;
    out.append(word + from, points[i] - from);
    out += '-';
    from = points[i];
  }
  out.append(word + from, len - from);
  return out;
}
}  // namespace

AppResult tool_render(int, char**) { return not_built("rendering a page"); }

AppResult tool_hyphenate(int argc, char** argv) {
  ql_hy_lang(argv[2]);
  for (int i = 3; i < argc; ++i) {
    std::string line = hyphenated(argv[i]) + "\n";
    fwrite(line.data(), 1, line.size(), stderr);
  }
  return 0u;
}

AppResult tool_bench_open(int argc, char** argv) {
  if (!init_headless()) return 1u;
  qls_load(settings);
  uint32_t repeat = 1;
  if (argc > 3) repeat = parse_unsigned(argv[3]).value_or(1);
  if (repeat == 0) return 0u;
  return not_built("opening books");
}

AppResult tool_opds_parse(int, char**) { return not_built("OPDS parsing"); }

AppResult tool_screen(int, char** argv) {
  if (!init_headless()) return 1u;
  qls_load(settings);
  ui_state_load();
  std::string_view name = argv[2];
  // Every entry is tried, even after one matched; a screen that presents ends the process.
  for (const ScreenShot& shot : screen_shots()) {
    if (shot.show && shot.name == name) shot.show(name);
  }
  return 3u;
}
