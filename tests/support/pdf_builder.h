// A small PDF writer for tests and benchmarks: pages of Helvetica text with any size and
// rotation, an outline and the Title and Author of the document information. Header-only, so
// that a benchmark program can use it too.
#pragma once
#include <cstdio>
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

namespace pdfw {

inline std::string literal(const std::string& s) {
  std::string out = "(";
  for (char c : s) {
    if (c == '(' || c == ')' || c == '\\') out += '\\';
    out += c;
  }
  return out + ")";
}

inline std::string num(float v) {
  char buf[32];
  snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
  return buf;
}

}  // namespace pdfw

inline std::string build_pdf(const PdfPlan& plan) {
  using pdfw::literal;
  using pdfw::num;
  // Objects: 1 catalog, 2 page tree, 3 font, 4 information, 5 outline root, then per page its
  // page object and content stream, then the outline items.
  const int first_page = 6;
  const int first_item = first_page + 2 * static_cast<int>(plan.pages.size());
  std::vector<std::string> objects;
  const bool has_outline = !plan.outline.empty();
  objects.push_back(std::string("<< /Type /Catalog /Pages 2 0 R") + (has_outline ? " /Outlines 5 0 R" : "") + " >>");
  std::string kids;
  for (size_t i = 0; i < plan.pages.size(); ++i) kids += std::to_string(first_page + 2 * i) + " 0 R ";
  objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(plan.pages.size()) + " >>");
  objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
  objects.push_back("<< /Title " + literal(plan.title) + " /Author " + literal(plan.author) + " >>");

  // The outline tree from the depth-first list: each item's parent is the last item one level up.
  const size_t n = plan.outline.size();
  std::vector<int> parent(n, -1), prev(n, -1), next(n, -1), first(n, -1), last(n, -1), count(n, 0);
  int top_first = -1, top_last = -1;
  std::vector<int> open;  // the current item of each level
  for (size_t i = 0; i < n; ++i) {
    const int level = plan.outline[i].level;
    open.resize(static_cast<size_t>(level));
    const int p = level > 0 ? open[static_cast<size_t>(level - 1)] : -1;
    parent[i] = p;
    int& head = p >= 0 ? first[static_cast<size_t>(p)] : top_first;
    int& tail = p >= 0 ? last[static_cast<size_t>(p)] : top_last;
    if (tail >= 0) {
      next[static_cast<size_t>(tail)] = static_cast<int>(i);
      prev[i] = tail;
    }
    if (head < 0) head = static_cast<int>(i);
    tail = static_cast<int>(i);
    for (int a = p; a >= 0; a = parent[static_cast<size_t>(a)]) count[static_cast<size_t>(a)]++;
    open.push_back(static_cast<int>(i));
  }
  auto ref = [&](int item) { return std::to_string(first_item + item) + " 0 R"; };
  objects.push_back(has_outline ? "<< /Type /Outlines /First " + ref(top_first) + " /Last " + ref(top_last) +
                                      " /Count " + std::to_string(n) + " >>"
                                : "<< /Type /Outlines /Count 0 >>");

  for (size_t i = 0; i < plan.pages.size(); ++i) {
    const PdfPagePlan& p = plan.pages[i];
    std::string content;
    for (const PdfText& t : p.texts) {
      content += "BT /F1 " + num(t.size) + " Tf " + num(t.x) + " " + num(p.height - t.y) + " Td " + literal(t.text) +
                 " Tj ET\n";
    }
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + num(p.width) + " " + num(p.height) +
                      "] /Rotate " + std::to_string(p.rotate) + " /Resources << /Font << /F1 3 0 R >> >> /Contents " +
                      std::to_string(first_page + 2 * i + 1) + " 0 R >>");
    objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
  }
  for (size_t i = 0; i < n; ++i) {
    const PdfOutlineItem& item = plan.outline[i];
    std::string o = "<< /Title " + literal(item.title) + " /Parent " + (parent[i] >= 0 ? ref(parent[i]) : "5 0 R");
    if (prev[i] >= 0) o += " /Prev " + ref(prev[i]);
    if (next[i] >= 0) o += " /Next " + ref(next[i]);
    if (first[i] >= 0) {
      o += " /First " + ref(first[i]) + " /Last " + ref(last[i]) + " /Count " + std::to_string(count[i]);
    }
    o += " /Dest [" + std::to_string(first_page + 2 * item.page) + " 0 R /Fit] >>";
    objects.push_back(o);
  }

  std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = out.size();
  out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t off : offsets) {
    char line[24];
    snprintf(line, sizeof line, "%010zu 00000 n \n", off);
    out += line;
  }
  out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R /Info 4 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return out;
}
