// Every libjpeg call of the program. libjpeg reports errors through a handler that must not return,
// so ours long-jumps back: the calls that may fail run in one function whose frame holds no C++
// object and no local read after the jump; its state lives in the caller's frame, which releases it.
#include "display/jpeg_decode.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "display/grey_pixel.h"

namespace {

constexpr unsigned kDctEighths = 8;
// Far above what a picture within the pixel limit needs (a progressive one keeps every
// coefficient: 2 bytes for each of up to four samples a pixel); only a lie in a header reaches it.
constexpr long kMaxDecoderMemory = 512L << 20;
// A progressive picture takes a pass over all its blocks for every scan; real ones have about ten.
constexpr int kMaxScans = 1000;

struct ErrorJump {
  jpeg_error_mgr mgr;  // first: the decoder hands back a pointer to it
  jmp_buf jump;
};

[[noreturn]] void jump_out(j_common_ptr c) { longjmp(reinterpret_cast<ErrorJump*>(c->err)->jump, 1); }
// Damaged data is common and the decoder carries on past it; nothing is printed.
void keep_quiet(j_common_ptr, int) {}
void print_nothing(j_common_ptr) {}

void refuse_endless_scans(j_common_ptr c) {
  if (reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > kMaxScans) jump_out(c);
}

struct Decode {
  jpeg_decompress_struct cinfo;
  ErrorJump err;
  jpeg_progress_mgr progress;
  const uint8_t* data;
  size_t size;
  bool header_only;
  int want_w, want_h;
  uint64_t max_pixels;
  int w, h;         // the header's size, or the decoded size
  uint8_t* pixels;  // the result, malloc'd
  JSAMPLE* colour;  // one row of CMYK samples, malloc'd
};

// Grey from the four samples of a CMYK pixel: each colour is the product of its own sample and
// black's. Pictures with Adobe's marker store both inverted (255 is no ink), as the decoder also
// returns YCCK ones.
uint8_t cmyk_grey(const JSAMPLE* p, bool inverted) {
  auto product = [](unsigned a, unsigned b) {  // a * b / 255, rounded
    const unsigned t = a * b + 128;
    return (t + (t >> 8)) >> 8;
  };
  const unsigned k = inverted ? p[3] : 255u - p[3];
  unsigned rgb[3];
  for (int i = 0; i < 3; ++i) rgb[i] = product(inverted ? p[i] : 255u - p[i], k);
  return uint8_t(luma(rgb[0], rgb[1], rgb[2]));
}

// Picks the scale: the first eighth whose output covers the wanted size.
void choose_scale(j_decompress_ptr cinfo, int want_w, int want_h) {
  cinfo->scale_denom = kDctEighths;
  for (unsigned n = 1; n <= kDctEighths; ++n) {
    cinfo->scale_num = n;
    jpeg_calc_output_dimensions(cinfo);
    if (cinfo->output_width >= unsigned(want_w) && cinfo->output_height >= unsigned(want_h)) return;
  }
}

// Every call that may long-jump. False when the decoder gave up or the picture is refused.
bool run_decoder(Decode* d) {
  j_decompress_ptr cinfo = &d->cinfo;
  if (setjmp(d->err.jump)) return false;
  jpeg_create_decompress(cinfo);
  cinfo->mem->max_memory_to_use = kMaxDecoderMemory;
  d->progress.progress_monitor = refuse_endless_scans;
  cinfo->progress = &d->progress;
  jpeg_mem_src(cinfo, d->data, static_cast<unsigned long>(d->size));
  jpeg_read_header(cinfo, TRUE);
  d->w = int(cinfo->image_width);
  d->h = int(cinfo->image_height);
  if (d->header_only) return true;
  if (uint64_t(cinfo->image_width) * cinfo->image_height > d->max_pixels) return false;
  const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
  // Grey from a YCbCr picture is its luma alone: the colour samples are never turned into pixels.
  cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_GRAYSCALE;
  choose_scale(cinfo, d->want_w, d->want_h);
  jpeg_start_decompress(cinfo);
  d->w = int(cinfo->output_width);
  d->h = int(cinfo->output_height);
  const size_t width = cinfo->output_width;
  d->pixels = static_cast<uint8_t*>(malloc(width * cinfo->output_height));
  if (cmyk) d->colour = static_cast<JSAMPLE*>(malloc(width * 4));
  if (!d->pixels || (cmyk && !d->colour)) return false;
  while (cinfo->output_scanline < cinfo->output_height) {
    uint8_t* out = d->pixels + size_t(cinfo->output_scanline) * width;
    JSAMPROW row = cmyk ? d->colour : out;
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return false;
    if (cmyk)
      for (size_t x = 0; x < width; ++x) out[x] = cmyk_grey(d->colour + 4 * x, cinfo->saw_Adobe_marker);
  }
  return true;
}

// Runs the decoder on a fresh state and releases everything but the pixels of a success.
bool decode(Decode& d, const uint8_t* data, size_t size) {
  if (!is_jpeg(data, size)) return false;
  d.data = data;
  d.size = size;
  d.cinfo.err = jpeg_std_error(&d.err.mgr);
  d.err.mgr.error_exit = jump_out;
  d.err.mgr.emit_message = keep_quiet;
  d.err.mgr.output_message = print_nothing;
  const bool ok = run_decoder(&d);
  jpeg_destroy_decompress(&d.cinfo);
  free(d.colour);
  d.colour = nullptr;
  if (!ok) {
    free(d.pixels);
    d.pixels = nullptr;
  }
  return ok;
}

}  // namespace

bool is_jpeg(const uint8_t* data, size_t size) { return data && size >= 2 && data[0] == 0xFF && data[1] == 0xD8; }

bool jpeg_size(const uint8_t* data, size_t size, int* w, int* h) {
  Decode d{};
  d.header_only = true;
  if (!decode(d, data, size)) return false;
  *w = d.w;
  *h = d.h;
  return true;
}

uint8_t* jpeg_decode_grey(const uint8_t* data, size_t size, int want_w, int want_h, uint64_t max_pixels, int* w,
                          int* h) {
  Decode d{};
  d.want_w = want_w;
  d.want_h = want_h;
  d.max_pixels = max_pixels;
  if (!decode(d, data, size)) return nullptr;
  *w = d.w;
  *h = d.h;
  return d.pixels;
}
