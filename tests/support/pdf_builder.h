// A small PDF writer for tests and benchmarks: pages of Helvetica text with any size and
// rotation, an outline and the Title and Author of the document information.
#pragma once
#include <string>
#include <vector>

struct PdfText {
  float x, y;  // baseline start, from the top-left corner of the unrotated page
  float size;
  std::string text;  // Latin-1 bytes
};

struct PdfPagePlan {
  float width = 612, height = 792;
  int rotate = 0;
  std::vector<PdfText> texts;
};

struct PdfOutlineItem {
  std::string title;
  int page;   // 0-based
  int level;  // 0 for the top; items are listed depth-first
};

struct PdfPlan {
  std::vector<PdfPagePlan> pages;
  std::vector<PdfOutlineItem> outline;
  std::string title, author;
};

std::string build_pdf(const PdfPlan& plan);
