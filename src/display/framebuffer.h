// The grey frame every screen draws into, its mask plane, the drawing primitives and presentation.
// One process-wide frame; only the core thread draws and presents.
#pragma once
#include <cstdint>

// One byte per pixel beside the grey plane: the palette the presentation shows the pixel in.
enum MaskValue : uint8_t {
  MASK_PAPER = 0,   // paper and text palette
  MASK_PICTURE = 1, // neutral grey: PDF page images, book pictures
  MASK_ACCENT = 2,  // accent palette
};

// The active grey plane (0 black, 255 white, row stride `width`) and the frame size. While drawing
// is redirected with ql_target, `pixels` points into the caller's block.
struct Framebuffer {
  uint8_t* pixels = nullptr;
  int32_t width = 1072;
  int32_t height = 1448;
};

// The process-wide frame (read its size and pixels; resize only through ql_init/ql_set_rotation).
Framebuffer& ql_fb();
// Called before the frame's planes are written through ql_fb() (the drawing calls below do it
// themselves): a present the host has not copied yet is copied first.
void ql_will_draw();
// The headless flag given to ql_init (tool and test modes without a window).
int ql_headless();

// Sets up fonts, asks the host for the screen size unless headless, allocates and clears the frame.
// 1 ready, 0 failed ("No display" or no memory).
int ql_init(int headless);
void ql_close();
// Called first by ql_close: the book engine registers the closing of what it holds open.
void ql_set_close_hook(void (*hook)());

void ql_clear();
void ql_rect(int x, int y, int w, int h, uint8_t grey);
void ql_frame(int x, int y, int w, int h, int t);
void ql_mark(int x, int y, int w, int h, uint8_t v);
// The active mask plane (width*height bytes), or NULL when it cannot be allocated. Only the drawing
// calls above write it.
const uint8_t* ql_mask();
// True when the active mask plane is known to be all paper (cleared, nothing marked since).
bool ql_mask_blank();
void ql_shade(int x, int y, int w, int h, uint8_t grey);
void ql_invert(int x, int y, int w, int h);
void ql_blit(const uint8_t* src, int w, int h, int x, int y);
void ql_line(uint8_t grey, float x0, float y0, float x1, float y1, float lw);
void ql_circle(uint8_t grey, float cx, float cy, float r, float lw);

// Redirects drawing into a block of 2*width*height bytes (grey plane, then mask plane), or back to
// the screen with NULL. Returns the active grey plane. `paper_mask`: the block's mask plane is all
// paper (as ql_mask_blank() said when it was last drawn), so clearing it can be skipped.
uint8_t* ql_target(uint8_t* block, bool paper_mask = false);
// Copies such a block into the active planes; with `paper_mask`, only its grey plane (its mask is
// all paper).
void ql_blit_frame(const uint8_t* block, bool paper_mask = false);

void ql_set_rotation(uint32_t r);
uint32_t ql_rotation();
void ql_set_invert(int v);

// Shows the frame; full refreshes always use waveform 2. Always 1.
int ql_present(int full, int wave);
void ql_settle(int hint = 0);

// The active grey plane as an 8-bit grey PNG at `path` (a host path). 1 written, 0 not.
int ql_png(const char* path);

double ql_now_ms();
// Appends "mark <label> t=<ms>" to the timing log when QL_TIMING is set.
void ql_tmark(const char* label);
