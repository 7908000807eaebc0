#include "app/ui/ui_message.h"

#include <algorithm>
#include <string>

#include "app/ui/app_state.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "display/framebuffer.h"

namespace {
constexpr size_t kToastCopyMax = 199;
constexpr float kToastOneLineSize = 44;
constexpr int kToastFitSize = 54;
constexpr float kToastWrapSize = 42;
constexpr int kToastLineHeight = 56;
constexpr int kToastTextX = 72;
constexpr int kToastBoxX = 40;
constexpr int kToastBoxBottomGap = 70;  // the box's bottom edge stays at H - 70
constexpr int kToastFrame = 3;
constexpr int kHighlightLimitMs = 2500;
constexpr size_t kInfoTitleMax = 127;
constexpr int kInfoTop = 298;
constexpr int kInfoSize = 40;
constexpr int kInfoLineHeight = 58;
constexpr int kInfoParagraphGap = 14;

struct ToastLayout {
  bool one_line = false;
  std::string copy;  // the one-line text
  int lines = 0;     // wrapped lines otherwise
  int top = 0;       // the box's top edge
  int height = 0;
};

ToastLayout layout_toast(const char* text, size_t length) {
  const int w = ql_fb().width, h = ql_fb().height;
  const int width = w - 2 * kToastTextX;
  ToastLayout t;
  t.copy.assign(text, std::min(length, kToastCopyMax));
  if (ql_measure(t.copy.c_str(), TS_UI, kToastOneLineSize) <= float(width)) {
    t.one_line = true;
    t.height = 120;
  } else {
    t.lines = ui_wrap({text, length}, TS_UI, kToastWrapSize, float(width), [](std::string_view, int) {});
    t.height = kToastLineHeight * t.lines + 64;
  }
  t.top = h - kToastBoxBottomGap - t.height;
  return t;
}
}  // namespace

int ui_toast_top(const char* text, size_t length) { return layout_toast(text, length).top; }

void ui_toast(const char* text, size_t length) {
  const int w = ql_fb().width, h = ql_fb().height;
  const int width = w - 2 * kToastTextX;
  const ToastLayout t = layout_toast(text, length);
  ql_rect(kToastBoxX, t.top, w - 2 * kToastBoxX, t.height, 255);
  ql_frame(kToastBoxX, t.top, w - 2 * kToastBoxX, t.height, kToastFrame);
  if (t.one_line) {
    ui_draw_text_fit(t.copy.c_str(), TS_REGULAR, kToastFitSize, kToastTextX, h - 114, width);
  } else {
    ui_draw_wrapped(text, length, TS_REGULAR, int(kToastWrapSize), kToastTextX, t.top + 72, width,
                    kToastLineHeight);
  }
  ui_present(false);
}

int ui_toast_wait(const char* text, size_t length, int timeout_ms) {
  ui_toast(text, length);
  TapEvent event;
  ui_wait_event_timeout(event, timeout_ms);
  return event.code;
}

void ui_info_page(const char* title, size_t title_length, std::span<const std::string_view> lines) {
  app.present.waveform = kWaveformFull;
  ql_settle();
  const std::string shown(title, std::min(title_length, kInfoTitleMax));
  ui_draw_header(shown.c_str());
  const int w = ql_fb().width, h = ql_fb().height;
  int y = kInfoTop;
  for (std::string_view line : lines) {
    if (y > h - 80) break;
    y = ui_draw_wrapped(line.data(), line.size(), TS_REGULAR, kInfoSize, 48, y, w - 96,
                        kInfoLineHeight) +
        kInfoParagraphGap;
  }
  ui_present(false);
  TapEvent event;
  ui_wait_event(event);
}

void reader_show_highlight_limit() {
  constexpr std::string_view message = "This book has reached its limit of highlights and notes.";
  ui_toast_wait(message.data(), message.size(), kHighlightLimitMs);
}
