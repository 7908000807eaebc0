// Writing a 1072 x 1448 grey page as PNG: quillo's writer beside MuPDF's, on the same pixels.
// - In-process, each writer encoding the page in memory (quillo's png_encode_grey, MuPDF's
//   fz_new_buffer_from_pixmap_as_png, linked into this program): the best of several runs.
// - Whole process, `mutool draw` of the page to a PNG beside the same to a PGM (which writes the
//   pixels as they are): the difference is what its PNG writer adds to its process.
// The page: a PDF page of dense text drawn by quillo's PDF adapter (a generated one, or page 1 of
// the file given). Every file written is checked by reading it back with quillo's picture reader.
// Usage: png_write_bench [file.pdf]. Build a release tree for figures that mean something.
#include <mupdf/fitz.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "book/pdf_adapter.h"
#include "display/images.h"
#include "display/png_write.h"
#include "prose_pdf.h"

namespace {
constexpr int kW = 1072, kH = 1448, kRuns = 15;

double now_ms() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool reads_back(const unsigned char* png, size_t size, const std::vector<uint8_t>& pixels) {
  int w = 0, h = 0;
  uint8_t* img = ql_img_gray(png, size, &w, &h);
  const bool same = img && w == kW && h == kH && std::equal(pixels.begin(), pixels.end(), img);
  free(img);
  return same;
}

// MuPDF's writer on the page; its time and size, or -1 when it failed.
double mupdf_png(std::vector<uint8_t>& pixels, size_t* size, bool* valid) {
  fz_context* ctx = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
  if (!ctx) return -1;
  double best = -1;
  fz_pixmap* pix = nullptr;
  fz_buffer* buf = nullptr;
  fz_var(pix);
  fz_var(buf);
  fz_try(ctx) {
    pix = fz_new_pixmap_with_data(ctx, fz_device_gray(ctx), kW, kH, nullptr, 0, kW, pixels.data());
    for (int i = 0; i < kRuns; ++i) {
      fz_drop_buffer(ctx, buf);
      buf = nullptr;
      const double t0 = now_ms();
      buf = fz_new_buffer_from_pixmap_as_png(ctx, pix, fz_default_color_params);
      const double t = now_ms() - t0;
      best = best < 0 ? t : std::min(best, t);
    }
    unsigned char* data = nullptr;
    *size = fz_buffer_storage(ctx, buf, &data);
    *valid = reads_back(data, *size, pixels);
  }
  fz_always(ctx) {
    fz_drop_buffer(ctx, buf);
    fz_drop_pixmap(ctx, pix);
  }
  fz_catch(ctx) { best = -1; }
  fz_drop_context(ctx);
  return best;
}

// The best wall time of `mutool draw` of page 1 at the page size in grey to `out`.
double mutool_draw(const std::string& pdf, const std::string& out) {
  const std::string cmd = "mutool draw -q -c gray -w " + std::to_string(kW) + " -h " + std::to_string(kH) + " -o '" +
                          out + "' '" + pdf + "' 1 2>/dev/null";
  double best = -1;
  for (int i = 0; i < kRuns; ++i) {
    const double t0 = now_ms();
    if (std::system(cmd.c_str()) != 0) return -1;
    const double t = now_ms() - t0;
    best = best < 0 ? t : std::min(best, t);
  }
  return best;
}
}  // namespace

int main(int argc, char** argv) {
  char dir[] = "/tmp/png-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string pdf = argc > 1 ? argv[1] : write_prose_pdf(std::string(dir) + "/page.pdf", 1);
  std::vector<uint8_t> pixels(size_t(kW) * kH);
  if (!qlpdf_open(pdf.c_str()) || !qlpdf_render(0, pixels.data(), kW, kH)) {
    fprintf(stderr, "%s: %s\n", pdf.c_str(), qlpdf_error());
    std::system(("rm -rf '" + std::string(dir) + "'").c_str());
    return 1;
  }
  qlpdf_close();
  printf("a %d x %d grey page of %s\n", kW, kH, argc > 1 ? pdf.c_str() : "generated text");

  double ours = -1;
  std::string png;
  for (int i = 0; i < kRuns; ++i) {
    const double t0 = now_ms();
    png = png_encode_grey(pixels.data(), kW, kH, kW);
    const double t = now_ms() - t0;
    ours = ours < 0 ? t : std::min(ours, t);
  }
  const bool our_valid = reads_back(reinterpret_cast<const unsigned char*>(png.data()), png.size(), pixels);
  size_t their_size = 0;
  bool their_valid = false;
  const double theirs = mupdf_png(pixels, &their_size, &their_valid);
  printf("in-process, encoding in memory (best of %d):\n", kRuns);
  printf("  quillo %.2f ms, %zu bytes%s\n", ours, png.size(), our_valid ? "" : " (DOES NOT READ BACK)");
  if (theirs >= 0) {
    printf("  MuPDF  %.2f ms, %zu bytes%s\n", theirs, their_size, their_valid ? "" : " (does not read back)");
    printf("  quillo / MuPDF %.2f\n", ours / theirs);
  }

  const double to_png = mutool_draw(pdf, std::string(dir) + "/m.png");
  const double to_pgm = mutool_draw(pdf, std::string(dir) + "/m.pgm");
  if (to_png >= 0 && to_pgm >= 0) {
    printf("whole process, mutool draw of the page (best of %d): to PNG %.1f ms, to PGM %.1f ms: its PNG writer "
           "adds %.1f ms\n",
           kRuns, to_png, to_pgm, to_png - to_pgm);
  } else {
    printf("whole process: mutool draw not available\n");
  }
  std::system(("rm -rf '" + std::string(dir) + "'").c_str());
  return 0;
}
