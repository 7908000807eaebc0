#include "app/reader/font_choice.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "app/ui/app_state.h"
#include "base/paths.h"
#include "base/text_lines.h"
#include "display/fonts.h"

void font_choice_load() {
  FilePtr f(qlp_fopen(kFontChoicePath, "rb"));
  if (!f) return;
  char buf[400];
  size_t got = fread(buf, 1, sizeof buf, f.get());
  // A stem never holds a NUL; anything after one is not part of the name.
  std::string_view text(buf, strnlen(buf, got));
  size_t n = std::min(trimmed_length(text), sizeof app.reader.font_name - 1);
  if (n == 0) return;
  memcpy(app.reader.font_name, text.data(), n);
  app.reader.font_name[n] = 0;
  ql_font_load(app.reader.font_name);
}
