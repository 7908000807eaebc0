// A generated PDF of prose set like a book, the page the PDF benches draw: 11-point lines, 48 to
// the page, the same words for the same seed.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../tests/support/pdf_builder.h"

inline PdfPagePlan prose_page(int number, uint64_t& seed) {
  PdfPagePlan p;
  for (int line = 0; line < 48; ++line) {
    std::string text;
    while (text.size() < 92) {
      seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
      const size_t len = 2 + (seed >> 33) % 9;
      for (size_t k = 0; k < len; ++k) text += "etaoinshrdlucmfwypvbgkjqxz"[(seed >> (k * 3 + 20)) % 26];
      text += ' ';
    }
    p.texts.push_back({56, 60.f + 14.5f * line, 11, text});
  }
  p.texts.push_back({290, 770, 9, std::to_string(number)});
  return p;
}

// Writes `pages` such pages to `path` and returns it; ends the bench when it cannot.
inline std::string write_prose_pdf(const std::string& path, int pages) {
  PdfPlan plan;
  plan.title = "Generated prose";
  uint64_t seed = 42;
  for (int i = 0; i < pages; ++i) plan.pages.push_back(prose_page(i + 1, seed));
  const std::string bytes = build_pdf(plan);
  FILE* f = fopen(path.c_str(), "wb");
  if (!f || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) exit(1);
  fclose(f);
  return path;
}
