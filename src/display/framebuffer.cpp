// The grey frame, its mask plane, redirection into off-screen blocks, rotation and presentation.
#include "display/framebuffer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/page_memory.h"
#include "base/ql_error.h"
#include "base/timing_log.h"
#include "display/font_cache.h"
#include "host/host_queue.h"
#include "host/plat.h"

namespace {

// The part of a rectangle inside the frame; empty when nothing of it is visible.
struct Clip {
  int x0, y0, x1, y1;
  bool empty() const { return x0 >= x1 || y0 >= y1; }
};

// A mark made on the screen's own mask plane before the plane exists.
struct PendingMark {
  Clip c;
  uint8_t value;
};
constexpr size_t kMaxPendingMarks = 16;

struct FrameState {
  Framebuffer fb;
  PageMemory screen_plane;         // the screen's own grey plane, fb.pixels unless redirected
  uint8_t* screen = nullptr;       // the screen's own plane while drawing is redirected
  uint8_t* target_mask = nullptr;  // the block's mask plane while redirected
  // The screen's own mask plane is allocated only when something reads it (a present, ql_mask, a
  // block copied in); until then the marks made on it are kept here, over a plane all paper. A
  // process that never shows the frame in colour, as the render mode, never holds the plane.
  PageMemory own_mask;
  std::array<PendingMark, kMaxPendingMarks> pending{};
  size_t pending_count = 0;
  // The mask planes known to be all paper (the screen's own, and the block drawn into): their
  // clears and copies are skipped, and a present hands the host no mask to copy. Only this file
  // writes the mask (others see it read-only), so the flags cannot go stale.
  bool own_mask_blank = true;
  bool target_mask_blank = false;
  // The screen's planes hold a present the host may not have kept yet (without a window it copies
  // one only when it needs it): it is kept before they change.
  bool shown_uncopied = false;
  uint32_t rot = 0;
  int invert = 0;
  int headless = 0;
  void (*close_hook)() = nullptr;
};
FrameState g;

size_t frame_bytes() { return size_t(g.fb.width) * size_t(g.fb.height); }

Clip clip(int x, int y, int w, int h) {
  const int64_t x1 = std::min<int64_t>(int64_t(x) + w, g.fb.width);
  const int64_t y1 = std::min<int64_t>(int64_t(y) + h, g.fb.height);
  return {std::max(x, 0), std::max(y, 0), int(std::max<int64_t>(x1, 0)), int(std::max<int64_t>(y1, 0))};
}

bool covers_frame(const Clip& c) { return c.x0 == 0 && c.y0 == 0 && c.x1 == g.fb.width && c.y1 == g.fb.height; }

// Blends `grey` into a pixel by coverage c (only when c > 0), truncating toward zero.
inline void blend(uint8_t* p, uint8_t grey, float c) {
  if (c <= 0) return;
  const float old = *p;
  const float v = old + (float(grey) - old) * std::min(c, 1.0f);
  *p = uint8_t(std::clamp(int(v), 0, 255));
}

// Float bounds of an anti-aliased shape turned into visited rows/columns inside the frame; NaN or
// huge coordinates clamp to the frame instead of overflowing the conversion.
int clamp_to(float v, int limit) {
  if (!(v > -1.0f)) return -1;
  if (v > float(limit)) return limit;
  return int(v);
}

void fill_rows(uint8_t* plane, const Clip& c, uint8_t v) {
  for (int r = c.y0; r < c.y1; ++r) memset(plane + size_t(r) * g.fb.width + c.x0, v, size_t(c.x1 - c.x0));
}

// Forgets the screen's own mask (the frame closed, or resized): all paper again, no plane held.
void drop_own_mask() {
  g.own_mask = PageMemory();
  g.pending_count = 0;
  g.own_mask_blank = true;
}

// The screen's own plane, allocated and given the marks kept so far; null without memory.
uint8_t* own_plane() {
  if (!g.own_mask) g.own_mask = PageMemory(std::max<size_t>(frame_bytes(), 1));
  if (!g.own_mask) return nullptr;
  for (size_t i = 0; i < g.pending_count; ++i) fill_rows(g.own_mask.data(), g.pending[i].c, g.pending[i].value);
  g.pending_count = 0;
  return g.own_mask.data();
}

// The mask plane drawing goes to, the screen's own allocated when needed.
uint8_t* active_mask() { return g.target_mask ? g.target_mask : own_plane(); }
bool& active_mask_blank() { return g.target_mask ? g.target_mask_blank : g.own_mask_blank; }

// Writes `v` over `c` in the mask plane drawing goes to. A mark on the screen's own plane before it
// exists is kept (a mark over the whole frame replaces those before it), until there are too many.
void fill_mask(const Clip& c, uint8_t v) {
  uint8_t* plane = g.target_mask ? g.target_mask : g.own_mask.data();
  if (!plane) {
    if (covers_frame(c)) g.pending_count = 0;
    if (covers_frame(c) && v == MASK_PAPER) return;
    if (g.pending_count < g.pending.size()) {
      g.pending[g.pending_count++] = {c, v};
      return;
    }
    plane = own_plane();
    if (!plane) return;
  }
  fill_rows(plane, c, v);
}

// Called before anything may write the screen's own planes (not a block drawing is redirected to);
// `whole` when all of the grey plane is about to be drawn anew. Then the host keeps the plane as
// presented and drawing goes on in another, rather than the plane being copied first.
void before_screen_change(bool whole = false) {
  if (!g.shown_uncopied || g.screen) return;
  g.shown_uncopied = false;
  if (!whole) {
    host_keep_presented();
  } else if (host_swap_presented(g.screen_plane)) {
    g.fb.pixels = g.screen_plane.data();
  }
}

// The host converts each present with the mask; it matches only a frame of the framebuffer's own
// size, and an all-paper mask is given as none. (Presents come from the core thread, which owns the
// mask.)
const uint8_t* mask_for_present(int w, int h) {
  if (g.fb.width != w || g.fb.height != h || active_mask_blank()) return nullptr;
  return active_mask();
}

}  // namespace

Framebuffer& ql_fb() { return g.fb; }
void ql_will_draw() { before_screen_change(); }
void ql_set_close_hook(void (*hook)()) { g.close_hook = hook; }
int ql_headless() { return g.headless; }

int ql_init(int headless) {
  host_keep_presented();  // a present the host has not copied yet lies in the planes freed here
  g.headless = headless;
  host_set_mask_source(mask_for_present);
  ql_fonts_init();
  if (!headless && !plat_init(&g.fb.width, &g.fb.height)) {
    ql_fail("No display");
    return 0;
  }
  g.screen_plane = PageMemory();
  g.screen_plane = PageMemory(frame_bytes());
  g.fb.pixels = g.screen_plane.data();
  if (!g.fb.pixels) return 0;
  drop_own_mask();
  ql_clear();
  return 1;
}

void ql_close() {
  host_keep_presented();
  if (g.close_hook) g.close_hook();
  if (g.screen) {  // still redirected: the screen's own plane is the one we own
    g.fb.pixels = g.screen;
    g.screen = nullptr;
    g.target_mask = nullptr;
  }
  g.screen_plane = PageMemory();
  g.fb.pixels = nullptr;
  drop_own_mask();
}

const uint8_t* ql_mask() { return active_mask(); }

void ql_clear() {
  before_screen_change(true);
  if (g.fb.pixels) memset(g.fb.pixels, 255, frame_bytes());
  ql_mark(0, 0, g.fb.width, g.fb.height, MASK_PAPER);
}

void ql_rect(int x, int y, int w, int h, uint8_t grey) {
  if (!g.fb.pixels) return;
  const Clip c = clip(x, y, w, h);
  if (c.empty()) return;
  before_screen_change(covers_frame(c));
  fill_rows(g.fb.pixels, c, grey);
  if (!active_mask_blank()) fill_mask(c, MASK_PAPER);
}

void ql_frame(int x, int y, int w, int h, int t) {
  ql_rect(x, y, w, t, 0);
  ql_rect(x, y + h - t, w, t, 0);
  ql_rect(x, y, t, h, 0);
  ql_rect(x + w - t, y, t, h, 0);
}

void ql_mark(int x, int y, int w, int h, uint8_t v) {
  if (!g.fb.pixels) return;
  const Clip c = clip(x, y, w, h);
  bool& blank = active_mask_blank();
  if (c.empty() || (v == MASK_PAPER && blank)) return;
  before_screen_change();
  fill_mask(c, v);
  if (v != MASK_PAPER) {
    blank = false;
  } else if (covers_frame(c)) {
    blank = true;
  }
}

bool ql_mask_blank() { return active_mask_blank(); }

void ql_shade(int x, int y, int w, int h, uint8_t grey) {
  before_screen_change();
  if (!g.fb.pixels) return;
  const Clip c = clip(x, y, w, h);
  for (int r = c.y0; r < c.y1; ++r) {
    uint8_t* p = g.fb.pixels + size_t(r) * g.fb.width;
    for (int i = c.x0; i < c.x1; ++i) p[i] = std::min(p[i], grey);
  }
}

void ql_invert(int x, int y, int w, int h) {
  before_screen_change();
  if (!g.fb.pixels) return;
  const Clip c = clip(x, y, w, h);
  for (int r = c.y0; r < c.y1; ++r) {
    uint8_t* p = g.fb.pixels + size_t(r) * g.fb.width;
    for (int i = c.x0; i < c.x1; ++i) p[i] = uint8_t(255 - p[i]);
  }
}

void ql_blit(const uint8_t* src, int w, int h, int x, int y) {
  before_screen_change();
  if (!g.fb.pixels || !src || w < 1 || h < 1) return;
  const Clip c = clip(x, y, w, h);
  if (c.empty()) return;
  for (int r = c.y0; r < c.y1; ++r) {
    const uint8_t* from = src + size_t(r - y) * w + (c.x0 - x);
    memcpy(g.fb.pixels + size_t(r) * g.fb.width + c.x0, from, size_t(c.x1 - c.x0));
  }
}

void ql_line(uint8_t grey, float x0, float y0, float x1, float y1, float lw) {
  before_screen_change();
  if (!g.fb.pixels) return;
  const float h = lw * 0.5f;
  const int r0 = std::max(clamp_to(floorf(std::min(y0, y1) - h - 1), g.fb.height), 0);
  const int r1 = std::min(clamp_to(ceilf(std::max(y0, y1) + h + 1), g.fb.height), g.fb.height - 1);
  const int c0 = std::max(clamp_to(floorf(std::min(x0, x1) - h - 1), g.fb.width), 0);
  const int c1 = std::min(clamp_to(ceilf(std::max(x0, x1) + h + 1), g.fb.width), g.fb.width - 1);
  const float dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
  for (int py = r0; py <= r1; ++py) {
    uint8_t* row = g.fb.pixels + size_t(py) * g.fb.width;
    for (int px = c0; px <= c1; ++px) {
      const float sx = px + 0.5f - x0, sy = py + 0.5f - y0;
      const float t = len2 > 0 ? std::clamp((sx * dx + sy * dy) / len2, 0.0f, 1.0f) : 0.0f;
      const float ex = sx - t * dx, ey = sy - t * dy;
      blend(row + px, grey, h + 0.5f - sqrtf(ex * ex + ey * ey));
    }
  }
}

void ql_circle(uint8_t grey, float cx, float cy, float r, float lw) {
  before_screen_change();
  if (!g.fb.pixels) return;
  const float reach = ceilf(r + lw + 1);
  const float tx = truncf(cx), ty = truncf(cy);
  const int r0 = std::max(clamp_to(ty - reach, g.fb.height), 0);
  const int r1 = std::min(clamp_to(ty + reach, g.fb.height), g.fb.height - 1);
  const int c0 = std::max(clamp_to(tx - reach, g.fb.width), 0);
  const int c1 = std::min(clamp_to(tx + reach, g.fb.width), g.fb.width - 1);
  for (int py = r0; py <= r1; ++py) {
    uint8_t* row = g.fb.pixels + size_t(py) * g.fb.width;
    for (int px = c0; px <= c1; ++px) {
      const float ex = px + 0.5f - cx, ey = py + 0.5f - cy;
      const float d = sqrtf(ex * ex + ey * ey);
      blend(row + px, grey, lw <= 0 ? r + 0.5f - d : lw * 0.5f + 0.5f - fabsf(d - r));
    }
  }
}

uint8_t* ql_target(uint8_t* block, bool paper_mask) {
  if (!g.screen) g.screen = g.fb.pixels;
  if (block) {
    g.fb.pixels = block;
    g.target_mask = block + frame_bytes();
    g.target_mask_blank = paper_mask;
  } else {
    g.fb.pixels = g.screen;
    g.screen = nullptr;
    g.target_mask = nullptr;
  }
  return g.fb.pixels;
}

void ql_blit_frame(const uint8_t* block, bool paper_mask) {
  if (!block || !g.fb.pixels) return;
  const size_t n = frame_bytes();
  if (paper_mask) {
    before_screen_change(true);
    memcpy(g.fb.pixels, block, n);
    ql_mark(0, 0, g.fb.width, g.fb.height, MASK_PAPER);
    return;
  }
  if (!g.target_mask) g.pending_count = 0;  // the block's mask replaces every mark kept
  uint8_t* mask = active_mask();
  if (!mask) return;
  before_screen_change(true);
  memcpy(g.fb.pixels, block, n);
  memcpy(mask, block + n, n);
  active_mask_blank() = false;  // whatever the block's mask held
}

void ql_set_rotation(uint32_t r) {
  if (r == g.rot || !g.fb.pixels) return;
  host_keep_presented();
  std::swap(g.fb.width, g.fb.height);
  g.rot = r;
  drop_own_mask();
  g.screen_plane = PageMemory();
  g.screen_plane = PageMemory(frame_bytes());
  g.fb.pixels = g.screen_plane.data();
  if (!g.fb.pixels) {
    ql_fail("Out of memory");
    exit(1);
  }
  ql_clear();
}

uint32_t ql_rotation() { return g.rot; }
void ql_set_invert(int v) { g.invert = v; }

int ql_present(int full, int wave) {
  const double start = ql_now_ms();
  if (!full) {
    if (const char* env = getenv("QL_WAVE")) wave = atoi(env);
  }
  if (!g.headless) {
    plat_present(g.fb.pixels, g.fb.width, g.fb.height, full, full ? 2 : wave, g.invert);
    g.shown_uncopied = true;
  }
  if (ql_timing_on()) {
    const double end = ql_now_ms();
    ql_timing_write("present full=%d draw+submit=%.0fms since_touch=%.0fms t=%.0f\n", full, end - start,
                    -1.0, end);
  }
  return 1;
}

void ql_settle(int) {}

double ql_now_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) * 1000 + double(ts.tv_nsec) / 1e6;
}

void ql_tmark(const char* label) {
  if (ql_timing_on()) ql_timing_write("mark %s t=%.0f\n", label ? label : "", ql_now_ms());
}
