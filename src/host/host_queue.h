// The host's shared state behind plat.h: the 256-entry event ring and the presented frame, both
// under one lock. The window and headless front ends, the test driver and the core all meet here.
#pragma once
#include "base/page_memory.h"
#include "host/plat.h"

#include <cstdint>
#include <vector>

constexpr int kHostRingSize = 256;  // holds at most 255 events
constexpr int kDefaultFrameW = 1072;
constexpr int kDefaultFrameH = 1448;

// Pushes one event and wakes the core. A full ring drops the event and answers false, except a quit
// request: that is kept as a flag beside the ring and delivered first, so quitting is never lost.
bool host_push(uint32_t type, int x, int y);
// Pointer down and up at one point, each under its own lock.
void host_tap(int x, int y);

// The presented frame size (the screen size until the first frame says otherwise).
void host_frame_size(int* w, int* h);
// Clamps a frame point into the presented frame, as the window does with the mouse.
void host_clamp_point(int* x, int* y);
// Maps a point of a view of vw x vh pixels (already relative to the shown frame) onto the frame,
// truncating and clamping, so the far edge of the view is the last pixel and never one past it.
void host_map_view_point(double px, double py, double vw, double vh, int* x, int* y);

// A copy of the presented frame: grey (1 byte a pixel) or red, green, blue, 255 (4 bytes).
struct FrameCopy {
  int w = 0;
  int h = 0;
  bool dark = false;  // the frame was presented inverted (dark mode)
  std::vector<uint8_t> pixels;
};
// False (and an empty copy) before the first frame. The colours are worked out by the copy, from the
// grey and mask planes the present kept, so that only what shows the frame pays for them.
bool host_copy_grey(FrameCopy& out);
bool host_copy_rgba(FrameCopy& out);

// What a view of the frame keeps: its own grey and mask planes, brought up to date row by row, so
// that it turns into colour only the rows that changed since it last looked.
struct FrameRows {
  int w = 0;
  int h = 0;
  bool dark = false;
  std::vector<uint8_t> grey;
  std::vector<uint8_t> mask;     // the colour mask (0 paper, 1 picture, 2 accent)
  std::vector<uint8_t> changed;  // a flag a row: copied by the last host_take_rows
  uint64_t seen = 0;             // the present it is up to date with
};
// Copies into `rows` the rows presented since it was last brought up to date: every row after a
// change of size or of the dark flag, and at the first call. False before the first frame.
bool host_take_rows(FrameRows& rows);
// Turns the rows flagged as changed into colour, 0xffRRGGBB words (the window's image format), row y
// at `image` + y * `stride` bytes.
void host_rows_to_xrgb(const FrameRows& rows, uint8_t* image, size_t stride);

// Called after every present, outside the lock, on the presenting thread: the window front end asks
// its main loop for a redraw here.
void host_set_present_hook(void (*hook)());
// For a session without a window: a present is copied only when the core goes on (takes input,
// polls for it or draws again) or a screenshot asks for it, not when it is followed by a quit. The
// core's planes must then stay as presented until it next calls in or calls host_keep_presented,
// which the display does before it draws over them or frees them; a screenshot copies them
// meanwhile, the lock held.
void host_keep_frames_when_asked();
void host_keep_presented();
// As host_keep_presented, for a display about to draw the whole of `plane` anew: a present of that
// plane without a mask is kept by taking the plane itself, and `plane` becomes the one the host
// kept before (a new one when it had none of that size), so nothing is copied. True when swapped.
bool host_swap_presented(PageMemory& plane);
// Gives each present the colour mask of a frame of w x h (null: none, all grey). The display layer
// registers it, since it owns the mask (on the core thread, as the presents come from it).
void host_set_mask_source(const uint8_t* (*source)(int w, int h));

// The appearance: the system's setting (written by the front end) and the test override (-1 none).
void host_set_system_dark(bool dark);
void host_set_test_dark(int value);

// Blocks until the ring is empty and a thread waits in plat_event for input, or timeout_ms passes.
// True when that state was reached.
bool host_wait_idle(int timeout_ms);

// Empties the ring, forgets the presented frame, the appearance override and the copying only when
// asked (for tests).
void host_reset();
