#include "app/ui/ui_text.h"

#include <algorithm>
#include <cstring>

#include "base/utf8.h"

namespace {
constexpr int kFitSizeFloor = 40;  // shrinking stops 10 sizes below this or below the size given
constexpr int kFitShrink = 10;
constexpr size_t kFitCopyMax = 1020;
constexpr std::string_view kEllipsis = "...";
constexpr std::string_view kDotSeparator = "  \xC2\xB7  ";

float measure(const std::string& text, TextStyle face, float size) {
  return ql_measure(text.c_str(), face, size);
}

struct FittedLine {
  std::string text;
  int size;
};
// The largest size from `size` down to `min_size` at which the text fits the width, else the text
// at `min_size` cut to it.
FittedLine fit_line(const char* text, TextStyle face, int size, int min_size, int width) {
  while (size > min_size && ql_measure(text, face, float(size)) > float(width)) --size;
  const std::string_view copy = ui_utf8_prefix(text, kFitCopyMax);
  return {ui_cut_to_width(copy, face, float(size), float(width)), size};
}

int fit_floor(int size) { return std::max(size, kFitSizeFloor) - kFitShrink; }
}  // namespace

std::string_view ui_utf8_prefix(std::string_view text, size_t max) {
  return text.substr(0, utf8_prefix_length(text, max));
}

TextStyle ui_face(TextStyle style) { return style == TS_BOLD ? TS_UI_BOLD : TS_UI; }

std::string ui_cut_to_width(std::string_view text, TextStyle face, float size, float width) {
  std::string fitted(text);
  if (measure(fitted, face, size) <= width) return fitted;
  size_t n = fitted.size();
  while (n > 0) {
    n = utf8_prefix_length(text, n - 1);
    fitted.resize(n);
    if (measure(fitted, face, size) <= width) break;
  }
  if (n >= kEllipsis.size() + 1) {
    fitted.resize(utf8_prefix_length(text, n - kEllipsis.size()));
    fitted += kEllipsis;
  }
  return fitted;
}

void ui_draw_text_fit(const char* text, TextStyle style, int size, int x, int y, int width) {
  ui_draw_text_fit_range(text, style, size, fit_floor(size), x, y, width);
}

void ui_draw_text_fit_range(const char* text, TextStyle style, int size, int min_size, int x, int y,
                            int width) {
  const TextStyle face = ui_face(style);
  const FittedLine line = fit_line(text, face, size, min_size, width);
  ql_text(line.text.c_str(), face, float(line.size), float(x), float(y));
}

int ui_wrap(std::string_view text, TextStyle face, float size, float width,
            const std::function<void(std::string_view line, int index)>& line) {
  std::string current;
  int count = 0;
  const auto emit = [&] {
    if (current.empty()) return;
    line(current, count++);
    current.clear();
  };
  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == ' ') {
      ++pos;
      continue;
    }
    const size_t end = std::min(text.find(' ', pos), text.size());
    const std::string_view word = text.substr(pos, end - pos);
    pos = end;
    const size_t candidate_len = current.empty() ? word.size() : current.size() + 1 + word.size();
    if (candidate_len > kWrapLineMax) break;  // the line buffer is full: the rest is not shown
    if (current.empty()) {
      current = word;
      continue;
    }
    std::string candidate = current + ' ';
    candidate += word;
    if (measure(candidate, face, size) > width) {
      emit();
      current = word;
    } else {
      current = std::move(candidate);
    }
  }
  emit();
  return count;
}

std::vector<std::string> ui_wrap_cut(std::string_view text, TextStyle face, float size, float width,
                                     int max_lines) {
  const size_t kept = size_t(std::max(max_lines, 1));
  std::vector<std::string> lines;
  std::string rest;  // the lines past the last one kept, joined
  ui_wrap(text, face, size, width, [&](std::string_view line, int index) {
    if (size_t(index) < kept) {
      lines.emplace_back(line);
    } else {
      rest += ' ';
      rest += line;
    }
  });
  if (!rest.empty()) lines.back() += rest;
  for (std::string& line : lines) line = ui_cut_to_width(line, face, size, width);
  return lines;
}

int ui_draw_wrapped_cut(std::string_view text, TextStyle face, int size, int x, int y, int width,
                        int line_height, int max_lines) {
  for (const std::string& line : ui_wrap_cut(text, face, float(size), float(width), max_lines)) {
    ql_text(line.c_str(), face, float(size), float(x), float(y));
    y += line_height;
  }
  return y;
}

int ui_draw_wrapped(const char* text, size_t length, TextStyle style, int size, int x, int y,
                    int width, int line_height, int max_baseline) {
  int drawn = 0;
  ui_wrap({text, length}, ui_face(style), float(size), float(width),
          [&](std::string_view line, int index) {
            const int baseline = y + index * line_height;
            if (baseline > max_baseline) return;
            const std::string copy(line);
            ql_text(copy.c_str(), ui_face(style), float(size), float(x), float(baseline));
            ++drawn;
          });
  return y + drawn * line_height;
}

std::string_view ui_join_dot(char* buffer, size_t capacity, std::string_view first,
                             std::string_view second) {
  const size_t len = first.size() + kDotSeparator.size() + second.size();
  if (capacity == 0) return {};
  if (len + 1 > capacity) {
    buffer[0] = '\0';
    return {buffer, 0};
  }
  char* p = buffer;
  p = std::copy(first.begin(), first.end(), p);
  p = std::copy(kDotSeparator.begin(), kDotSeparator.end(), p);
  p = std::copy(second.begin(), second.end(), p);
  *p = '\0';
  return {buffer, len};
}

void ui_draw_centred(const char* text, TextStyle style, int size, int x, int width, int y) {
  const TextStyle face = ui_face(style);
  const FittedLine line = fit_line(text, face, size, fit_floor(size), width);
  const float measured = measure(line.text, face, float(line.size));
  ql_text(line.text.c_str(), face, float(line.size), float(x) + (float(width) - measured) / 2,
          float(y));
}
