#include "host/host_queue.h"

#include "base/page_memory.h"
#include "host/present_palette.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kShortestIdleWaitMs = 20;

// A present not kept yet: the core's own planes, which the display leaves as presented until it has
// the host keep them (host_keep_presented, host_swap_presented) before it draws again.
struct Unkept {
  const uint8_t* grey = nullptr;  // null: none waits to be copied
  const uint8_t* mask = nullptr;  // null: all paper
  int w = 0;
  int h = 0;
  int invert = 0;
};

struct HostState {
  std::mutex mu;
  std::condition_variable cv;       // an event was pushed
  std::condition_variable idle_cv;  // a reader started waiting for input
  HostEvent queue[kHostRingSize] = {};
  int qh = 0;  // next to take
  int qt = 0;  // next free
  bool quit_pending = false;  // a quit that found the ring full
  int waiting = 0;            // threads blocked in plat_event on an empty ring

  // The last presented frame: its grey plane and its colour mask (zero, all paper, when the display
  // has none for it). The colours are worked out only by what shows the frame (host_take_rows).
  PageMemory frame;  // fw x fh pixels; none while nothing is presented
  std::vector<uint8_t> mask;          // empty until a present brings one: reading text needs none
  bool mask_blank = true;             // the kept mask is all zero (or not made yet)
  std::vector<uint64_t> row_present;  // a row: the present that last changed it
  uint64_t presents = 0;              // counts every present, never reset
  int fw = kDefaultFrameW;
  int fh = kDefaultFrameH;
  bool fdark = false;

  // Without a window only a screenshot looks at a presented frame: the frame is copied when the core
  // goes on (it takes input, polls for it or draws over part of it), or when a screenshot asks for
  // it; a frame drawn anew whole is handed over instead, and one followed by a quit is never kept.
  bool keep_when_asked = false;
  Unkept unkept;

  bool ring_empty() const { return qh == qt && !quit_pending; }
  size_t frame_bytes() const { return static_cast<size_t>(fw) * static_cast<size_t>(fh); }
};

// Never destroyed: the core thread may still present or wait while the process exits.
HostState& state() {
  static HostState* s = new HostState;
  return *s;
}

std::atomic<void (*)()> present_hook{nullptr};
std::atomic<const uint8_t* (*)(int, int)> mask_source{nullptr};
// Single words: the front end writes the system setting, the test driver the override.
std::atomic<bool> sys_dark{false};
std::atomic<int> test_dark{-1};

// Copies one presented row of grey and mask (none: all zero) into the kept frame when it differs,
// and stamps it. A present with a mask has made the kept one first.
void keep_changed_row(HostState& s, size_t y, const uint8_t* grey, const uint8_t* mask) {
  const size_t w = static_cast<size_t>(s.fw);
  uint8_t* kept_grey = s.frame.data() + y * w;
  uint8_t* kept_mask = s.mask.empty() ? nullptr : s.mask.data() + y * w;
  const uint8_t* grey_row = grey + y * w;
  const bool same_mask =
      mask ? memcmp(kept_mask, mask + y * w, w) == 0
           : s.mask_blank || (kept_mask[0] == 0 && memcmp(kept_mask, kept_mask + 1, w - 1) == 0);
  if (same_mask && memcmp(kept_grey, grey_row, w) == 0) return;
  memcpy(kept_grey, grey_row, w);
  if (mask) {
    memcpy(kept_mask, mask + y * w, w);
  } else if (kept_mask) {
    memset(kept_mask, 0, w);
  }
  s.row_present[y] = s.presents;
}

// Without memory for the frame the window keeps showing the last image (or the plain paper colour).
void drop_frame(HostState& s) {
  s.frame = {};
  s.mask = {};
  s.mask_blank = true;
  s.row_present = {};
}

// Copies the whole presented frame, a plane at a time (its grey plane may be the kept one already),
// and counts every row as changed.
void keep_frame(HostState& s, const uint8_t* grey, const uint8_t* mask) {
  if (grey != s.frame.data()) memcpy(s.frame.data(), grey, s.frame_bytes());
  if (mask) {
    memcpy(s.mask.data(), mask, s.mask.size());
  } else if (!s.mask_blank) {
    std::fill(s.mask.begin(), s.mask.end(), uint8_t{0});
  }
  std::fill(s.row_present.begin(), s.row_present.end(), s.presents);
}

// Gives the kept frame the size w x h, made anew when it had another or none; false, with no frame
// kept, without the memory for it.
bool size_frame(HostState& s, int w, int h) {
  if (s.frame && w == s.fw && h == s.fh) return true;
  s.frame = PageMemory();
  s.frame = PageMemory(static_cast<size_t>(w) * static_cast<size_t>(h));
  s.mask = {};
  s.mask_blank = true;
  try {
    s.row_present.assign(static_cast<size_t>(h), 0);
  } catch (const std::bad_alloc&) {
    s.frame = PageMemory();
  }
  if (!s.frame) {
    drop_frame(s);
    return false;
  }
  s.fw = w;
  s.fh = h;
  return true;
}

// Copies one present and its mask (null: all paper) into the kept frame (the lock held).
void keep_present(HostState& s, const uint8_t* grey, const uint8_t* mask, int w, int h, int invert) {
  const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
  // Finding the rows that changed pays only where a window shows the frame: it then turns just
  // those into colour. Without one, a plain copy is cheaper than comparing first.
  const bool all = !s.frame || w != s.fw || h != s.fh || (invert != 0) != s.fdark || !present_hook.load();
  if (!size_frame(s, w, h)) return;
  if (mask && s.mask.empty()) {
    try {
      s.mask.assign(n, 0);
    } catch (const std::bad_alloc&) {
      drop_frame(s);
      return;
    }
  }
  s.fdark = invert != 0;
  ++s.presents;
  if (all) {
    keep_frame(s, grey, mask);
  } else {
    for (size_t y = 0; y < static_cast<size_t>(h); y++) keep_changed_row(s, y, grey, mask);
  }
  s.mask_blank = !mask;
}

// Copies the unkept present, if any. Any thread may, the lock held: the core does not draw over it
// before it has it copied, which takes the lock.
void keep_unkept(HostState& s) {
  if (!s.unkept.grey) return;
  keep_present(s, s.unkept.grey, s.unkept.mask, s.unkept.w, s.unkept.h, s.unkept.invert);
  s.unkept = {};
}

// The mask of a present of w x h, asked for on the core thread (the display's own).
const uint8_t* present_mask(int w, int h) {
  auto source = mask_source.load();
  return source ? source(w, h) : nullptr;
}

}  // namespace

bool host_push(uint32_t type, int x, int y) {
  HostState& s = state();
  bool kept = true;
  {
    std::lock_guard lock(s.mu);
    if ((s.qt + 1) % kHostRingSize == s.qh) {
      if (type == HOST_QUIT) {
        s.quit_pending = true;
      } else {
        kept = false;
      }
    } else {
      s.queue[s.qt] = HostEvent{type, x, y};
      s.qt = (s.qt + 1) % kHostRingSize;
    }
  }
  s.cv.notify_all();
  return kept;
}

void host_tap(int x, int y) {
  host_push(HOST_POINTER_DOWN, x, y);
  host_push(HOST_POINTER_UP, x, y);
}

int plat_init(int* w, int* h) {
  HostState& s = state();
  int cw = 0, ch = 0;
  const char* size = getenv("CVNL_SIZE");
  const bool sized = getenv("CVNL_HEADLESS") && size && sscanf(size, "%dx%d", &cw, &ch) == 2 &&
                     cw >= 600 && cw <= 2000 && ch >= 800 && ch <= 3000;
  std::lock_guard lock(s.mu);
  if (sized) {
    s.fw = cw;
    s.fh = ch;
  }
  *w = s.fw;
  *h = s.fh;
  return 1;
}

int plat_event(int timeout_ms, int* x, int* y) {
  HostState& s = state();
  std::unique_lock lock(s.mu);
  if (s.ring_empty()) {
    if (timeout_ms == 0) {
      keep_unkept(s);
      return 0;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    // A short poll (the core checking for input between cover decodes) is not a wait for input;
    // only a blocking or long wait counts for host_wait_idle.
    const bool is_idle_wait = timeout_ms < 0 || timeout_ms >= kShortestIdleWaitMs;
    if (is_idle_wait) {
      s.waiting++;
      s.idle_cv.notify_all();
    }
    const auto input = [&] { return !s.ring_empty(); };
    if (timeout_ms < 0) {
      s.cv.wait(lock, input);
    } else {
      s.cv.wait_until(lock, deadline, input);
    }
    if (is_idle_wait) s.waiting--;
    if (s.ring_empty()) {
      keep_unkept(s);
      return 0;
    }
  }
  if (s.quit_pending) {
    s.quit_pending = false;
    *x = 0;
    *y = 0;
    return HOST_QUIT;
  }
  const HostEvent e = s.queue[s.qh];
  s.qh = (s.qh + 1) % kHostRingSize;
  if (e.type != HOST_QUIT) keep_unkept(s);
  *x = e.x;
  *y = e.y;
  return static_cast<int>(e.type);
}

int plat_pending() {
  HostState& s = state();
  std::lock_guard lock(s.mu);
  keep_unkept(s);
  return s.ring_empty() ? 0 : 1;
}

void plat_present(const uint8_t* grey, int w, int h, int, int, int invert) {
  if (!grey || w <= 0 || h <= 0) return;
  HostState& s = state();
  {
    std::lock_guard lock(s.mu);
    if (s.keep_when_asked) {
      s.unkept = {grey, present_mask(w, h), w, h, invert};
      return;
    }
    keep_present(s, grey, present_mask(w, h), w, h, invert);
  }
  if (auto hook = present_hook.load()) hook();
}

int plat_system_dark() {
  const int t = test_dark.load();
  return t >= 0 ? t : (sys_dark.load() ? 1 : 0);
}

void host_frame_size(int* w, int* h) {
  HostState& s = state();
  std::lock_guard lock(s.mu);
  *w = s.unkept.grey ? s.unkept.w : s.fw;
  *h = s.unkept.grey ? s.unkept.h : s.fh;
}

void host_clamp_point(int* x, int* y) {
  int w, h;
  host_frame_size(&w, &h);
  *x = std::clamp(*x, 0, w - 1);
  *y = std::clamp(*y, 0, h - 1);
}

void host_map_view_point(double px, double py, double vw, double vh, int* x, int* y) {
  int w, h;
  host_frame_size(&w, &h);
  const double fx = vw > 0 ? px * w / vw : 0;
  const double fy = vh > 0 ? py * h / vh : 0;
  // Clamp in floating point first: a point far outside must not overflow the integer.
  *x = static_cast<int>(std::clamp(fx, 0.0, double(w - 1)));
  *y = static_cast<int>(std::clamp(fy, 0.0, double(h - 1)));
}

bool host_copy_grey(FrameCopy& out) {
  HostState& s = state();
  std::lock_guard lock(s.mu);
  keep_unkept(s);
  if (!s.frame) {
    out = FrameCopy{};
    return false;
  }
  out.w = s.fw;
  out.h = s.fh;
  out.dark = s.fdark;
  out.pixels.assign(s.frame.data(), s.frame.data() + s.frame_bytes());
  return true;
}

bool host_copy_rgba(FrameCopy& out) {
  FrameRows rows;
  if (!host_take_rows(rows)) {
    out = FrameCopy{};
    return false;
  }
  out.w = rows.w;
  out.h = rows.h;
  out.dark = rows.dark;
  out.pixels.resize(rows.grey.size() * 4);
  convert_frame(build_palette(rows.dark), rows.grey.data(), rows.mask.data(), rows.grey.size(),
                out.pixels.data());
  return true;
}

void host_rows_to_xrgb(const FrameRows& rows, uint8_t* image, size_t stride) {
  const PresentPalette palette = build_palette(rows.dark);
  const size_t w = static_cast<size_t>(rows.w);
  for (size_t y = 0; y < static_cast<size_t>(rows.h); y++) {
    if (!rows.changed[y]) continue;
    // Image rows are word-aligned (cairo's stride is a multiple of four).
    convert_frame_xrgb(palette, rows.grey.data() + y * w, rows.mask.data() + y * w, w,
                       reinterpret_cast<uint32_t*>(image + y * stride));
  }
}

bool host_take_rows(FrameRows& rows) {
  HostState& s = state();
  std::lock_guard lock(s.mu);
  keep_unkept(s);
  if (!s.frame) return false;
  const size_t w = static_cast<size_t>(s.fw);
  const size_t h = static_cast<size_t>(s.fh);
  if (rows.w != s.fw || rows.h != s.fh || rows.grey.size() != w * h) {
    rows.grey.assign(w * h, 0);
    rows.mask.assign(w * h, 0);
    rows.changed.assign(h, 0);
    rows.w = s.fw;
    rows.h = s.fh;
    rows.seen = 0;
  }
  rows.dark = s.fdark;
  for (size_t y = 0; y < h; y++) {
    rows.changed[y] = s.row_present[y] > rows.seen;
    if (!rows.changed[y]) continue;
    memcpy(rows.grey.data() + y * w, s.frame.data() + y * w, w);
    if (s.mask.empty()) {
      memset(rows.mask.data() + y * w, 0, w);
    } else {
      memcpy(rows.mask.data() + y * w, s.mask.data() + y * w, w);
    }
  }
  rows.seen = s.presents;
  return true;
}

void host_set_present_hook(void (*hook)()) { present_hook.store(hook); }

void host_keep_frames_when_asked() {
  HostState& s = state();
  std::lock_guard lock(s.mu);
  s.keep_when_asked = true;
}

void host_keep_presented() {
  HostState& s = state();
  std::lock_guard lock(s.mu);
  keep_unkept(s);
}

bool host_swap_presented(PageMemory& plane) {
  HostState& s = state();
  std::lock_guard lock(s.mu);
  const Unkept& u = s.unkept;
  const bool swap = u.grey && u.grey == plane.data() && !u.mask &&
                    plane.size() == static_cast<size_t>(u.w) * static_cast<size_t>(u.h) && size_frame(s, u.w, u.h);
  if (swap) {
    std::swap(s.frame, plane);
    s.unkept.grey = s.frame.data();
  }
  keep_unkept(s);
  return swap;
}

void host_set_mask_source(const uint8_t* (*source)(int, int)) { mask_source.store(source); }
void host_set_system_dark(bool dark) { sys_dark.store(dark); }
void host_set_test_dark(int value) { test_dark.store(value < 0 ? -1 : value); }

bool host_wait_idle(int timeout_ms) {
  HostState& s = state();
  std::unique_lock lock(s.mu);
  return s.idle_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                            [&] { return s.ring_empty() && s.waiting > 0; });
}

void host_reset() {
  HostState& s = state();
  {
    std::lock_guard lock(s.mu);
    s.qh = s.qt = 0;
    s.quit_pending = false;
    s.keep_when_asked = false;
    s.unkept = {};
    s.frame = {};
    s.mask = {};
    s.mask_blank = true;
    s.row_present = {};
    s.fw = kDefaultFrameW;
    s.fh = kDefaultFrameH;
    s.fdark = false;
  }
  test_dark.store(-1);
  sys_dark.store(false);
}
