// PDF documents and CBZ comics through the page adapter: opening (MuPDF's repairs, the comic's
// directory and page list), fitting and drawing every page, the word under points, search,
// metadata and the cover. An open document has pages; a page that does not draw says why.
//
// Input: the document's bytes (a "%PDF" marker in the first kilobyte makes a PDF, a ZIP header a
// comic).
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/support/pdf_builder.h"
#include "../tests/support/zip_writer.h"
#include "book/pdf_adapter.h"
#include "fuzz_support.h"

namespace {

constexpr int kW = 120, kH = 260;  // small: the harness is about parsing, not pixels
constexpr int kPagesDrawn = 4;
constexpr char kDocument[] = "/mnt/us/document";

void write_seeds() {
  PdfPlan plan;
  plan.title = "Seed";
  plan.pages = {{612, 792, 0, {{72, 100, 24, "Hello world"}}}, {792, 612, 90, {{72, 100, 12, "Turned"}}}};
  plan.outline = {{"One", 0, 0}, {"Two", 1, 1}};
  fuzz::write_seed("two-pages.pdf", build_pdf(plan));
  // A 1 x 1 GIF: header, screen, two-colour table, image descriptor, one LZW block, end.
  const char gif[] =
      "GIF89a\x01\x00\x01\x00\x80\x00\x00"
      "\x00\x00\x00\xff\xff\xff"
      ",\x00\x00\x00\x00\x01\x00\x01\x00\x00"
      "\x02\x02\x44\x01\x00;";
  fuzz::write_seed("comic.cbz", zipw::build({{"p 2.gif", std::string(gif, sizeof gif - 1)},
                                             {"p 10.gif", std::string(gif, sizeof gif - 1), zipw::kStored}}));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::begin(write_seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::write_device_file(kDocument, data, size);
  if (!qlpdf_open(kDocument)) {
    if (!qlpdf_error()[0] || qlpdf_count() != 0) __builtin_trap();
    return 0;
  }
  if (qlpdf_count() <= 0 || qlpdf_toc_count() < 0 || qlpdf_toc_count() > int(kMaxPdfOutline)) __builtin_trap();
  std::vector<uint8_t> screen(size_t(kW) * kH);
  for (int page = 0; page < qlpdf_count() && page < kPagesDrawn; ++page) {
    if (!qlpdf_render(page, screen.data(), kW, kH)) {
      if (strcmp(qlpdf_error(), "This page could not be drawn") != 0) __builtin_trap();
      continue;
    }
    char word[256];
    for (int y = 0; y < kH; y += 37) {
      qlpdf_word_at(page, kW / 2, y, nullptr, nullptr, nullptr, nullptr, word, sizeof word);
    }
  }
  int pages[8], chars[8];
  if (qlpdf_search("e", 0, kPagesDrawn, pages, chars, 8) > 8) __builtin_trap();
  char title[512], author[256];
  if (!qlpdf_meta(kDocument, title, sizeof title, author, sizeof author)) __builtin_trap();
  qlpdf_cover(kDocument, screen.data(), kW, kH);
  qlpdf_close();
  return 0;
}
