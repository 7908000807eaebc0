// Real PDFs (written here, encrypted with mutool) and CBZ comics through the page adapter: outline,
// metadata, fitting of rotated pages, words and search on real text, page order of comics, and
// damaged or protected files that must fail with a message or open, never crash or hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "base/ql_error.h"
#include "book/book_model.h"
#include "book/page_source.h"
#include "book/pdf_adapter.h"
#include "book/toc.h"
#include "display/images.h"
#include "support/cover_fixture.h"
#include "support/pdf_builder.h"
#include "support/picture_fixtures.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"

namespace {

constexpr int kW = 1072, kH = 1448;
constexpr const char* kDamaged = "This book file is damaged";

PdfPagePlan text_page(std::vector<PdfText> texts, float w = 612, float h = 792, int rotate = 0) {
  PdfPagePlan p;
  p.width = w, p.height = h, p.rotate = rotate;
  p.texts = std::move(texts);
  return p;
}

PdfPlan three_pages() {
  PdfPlan plan;
  plan.title = "A Field Guide";
  plan.author = "Ann Author";
  plan.pages = {text_page({{72, 100, 24, "Hello world"}}), text_page({{72, 100, 24, "Second page"}}),
                text_page({{72, 100, 24, "Third page"}})};
  return plan;
}

struct DocFile {
  TempDir dir;
  std::string path;
  DocFile(const std::string& bytes, const std::string& name) : path(dir / name) { write_file(path, bytes); }
};

struct Placement {
  int x, y, w, h;
};
Placement render(int page) {
  static std::vector<uint8_t> screen(size_t(kW) * kH);
  Placement p{};
  EXPECT_EQ(qlpdf_render(page, screen.data(), kW, kH), 1) << qlpdf_error();
  qlpdf_page_images(&p.x, &p.y, &p.w, &p.h);
  return p;
}

// Every page either draws or says it could not be drawn, at a small size to keep loops quick.
void draw_every_page() {
  std::vector<uint8_t> small(200 * 300);
  for (int page = 0; page < std::min(qlpdf_count(), 4); ++page) {
    if (!qlpdf_render(page, small.data(), 200, 300)) {
      EXPECT_STREQ(qlpdf_error(), "This page could not be drawn");
    }
  }
}

TEST(PdfDocuments, OpensWithTitleAuthorOutlineLevelsAndPages) {
  PdfPlan plan = three_pages();
  plan.outline = {{"Part One", 0, 0}, {"Chapter 1", 0, 1}, {"Section 1.1", 1, 2}, {"Chapter 2", 2, 1},
                  {"Part Two", 2, 0}};
  DocFile f(build_pdf(plan), "guide.pdf");
  ASSERT_EQ(ql_open(f.path.c_str()), 1) << ql_error();
  EXPECT_EQ(ql_is_pdf(), 1u);
  EXPECT_EQ(ql_page_count(), 3);
  EXPECT_STREQ(ql_title(), "A Field Guide");
  EXPECT_STREQ(ql_author(), "Ann Author");
  ql_toc_from_pdf();
  ASSERT_EQ(ql_toc_count(), plan.outline.size());
  for (size_t i = 0; i < plan.outline.size(); ++i) {
    SCOPED_TRACE(plan.outline[i].title);
    EXPECT_STREQ(ql_toc()[i].title, plan.outline[i].title.c_str());
    EXPECT_EQ(ql_toc()[i].pos, uint64_t(plan.outline[i].page));
    EXPECT_EQ(ql_toc()[i].level, uint32_t(plan.outline[i].level));
  }
  char title[512], author[256];
  EXPECT_EQ(qlpdf_meta(f.path.c_str(), title, sizeof title, author, sizeof author), 1);
  EXPECT_STREQ(title, "A Field Guide");
  EXPECT_STREQ(author, "Ann Author");
  EXPECT_EQ(ql_page_count(), 3) << "reading metadata leaves the open document alone";

  plan.title = "  ";
  DocFile untitled(build_pdf(plan), "untitled.pdf");
  ASSERT_EQ(ql_open(untitled.path.c_str()), 1);
  EXPECT_STREQ(ql_title(), "untitled.pdf");
}

TEST(PdfDocuments, FindsTheMarkerInTheFirstKilobyteOnly) {
  const std::string pdf = build_pdf(three_pages());
  struct Case {
    size_t junk;
    bool opens;
  } cases[] = {{0, true}, {700, true}, {1020, true}, {1021, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.junk);
    DocFile f(std::string(c.junk, ' ') + pdf, "junk.pdf");
    EXPECT_EQ(qlpdf_open(f.path.c_str()), c.opens ? 1 : 0);
    if (c.opens) {
      EXPECT_EQ(qlpdf_count(), 3);
    } else {
      EXPECT_STREQ(qlpdf_error(), kDamaged);
    }
  }
  qlpdf_close();
}

TEST(PdfDocuments, FitsPortraitLandscapeAndRotatedPages) {
  PdfPlan plan;
  plan.pages = {text_page({}, 612, 792), text_page({}, 792, 612), text_page({}, 612, 792, 90),
                text_page({}, 612, 792, 270), text_page({}, 500, 2000)};
  DocFile f(build_pdf(plan), "shapes.pdf");
  ASSERT_EQ(qlpdf_open(f.path.c_str()), 1);
  struct Case {
    int page;
    float ratio;  // width over height as shown
  } cases[] = {{0, 612.f / 792}, {1, 792.f / 612}, {2, 792.f / 612}, {3, 792.f / 612}, {4, 0.25f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    const Placement p = render(c.page);
    EXPECT_NEAR(float(p.w) / float(p.h), c.ratio, 0.01);
    EXPECT_TRUE(p.w == kW - 64 || p.h == kH - 180);
  }
  qlpdf_close();
}

TEST(PdfDocuments, RealTextGivesWordsAtPointsAndSearchHits) {
  PdfPlan plan;
  plan.pages = {text_page({{72, 100, 24, "Hello world"}, {72, 400, 24, "the quiet harbour"}}),
                text_page({{72, 100, 24, "Harbour lights"}})};
  DocFile f(build_pdf(plan), "words.pdf");
  ASSERT_EQ(qlpdf_open(f.path.c_str()), 1);
  const Placement p = render(0);
  const float scale = float(p.w) / 612;
  auto word_at = [&](float page_x, float page_y) {
    char word[256] = "?";
    int x0, y0, x1, y1;
    if (!qlpdf_word_at(0, int(p.x + page_x * scale), int(p.y + page_y * scale), &x0, &y0, &x1, &y1, word, sizeof word))
      return std::string();
    // The middle of the word's box finds the same word.
    char again[256] = "";
    qlpdf_word_at(0, (x0 + x1) / 2, (y0 + y1) / 2, nullptr, nullptr, nullptr, nullptr, again, sizeof again);
    EXPECT_STREQ(again, word);
    return std::string(word);
  };
  EXPECT_EQ(word_at(80, 92), "Hello");
  EXPECT_EQ(word_at(150, 92), "world");
  EXPECT_EQ(word_at(160, 392), "quiet");
  EXPECT_EQ(word_at(500, 700), "");

  int pages[8], chars[8];
  ASSERT_EQ(qlpdf_search("harbour", 0, 2, pages, chars, 8), 2);
  EXPECT_EQ(pages[0], 0);
  EXPECT_EQ(pages[1], 1);
  EXPECT_EQ(chars[1], 0);
  EXPECT_EQ(qlpdf_search("hello world", 0, 2, pages, chars, 8), 1);
  EXPECT_EQ(qlpdf_search("nowhere", 0, 2, pages, chars, 8), 0);
  qlpdf_close();
}

TEST(PdfDocuments, DamagedFilesOpenRepairedOrFailWithAMessage) {
  const std::string pdf = build_pdf(three_pages());
  const std::vector<std::string> messages = {"This PDF could not be opened", "PDF has no pages", kDamaged};
  auto check = [&](const std::string& bytes) {
    DocFile f(bytes, "damaged.pdf");
    if (qlpdf_open(f.path.c_str())) {
      EXPECT_GT(qlpdf_count(), 0);
      draw_every_page();
    } else {
      EXPECT_NE(std::find(messages.begin(), messages.end(), qlpdf_error()), messages.end()) << qlpdf_error();
    }
  };
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string s = pdf;
    s.replace(s.find(from), from.size(), to);
    return s;
  };
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"xref offset past the end", replaced("startxref\n", "startxref\n99999") },
      {"xref that loops to itself", replaced("/Root 1 0 R", "/Root 1 0 R /Prev " + std::to_string(pdf.find("xref\n")))},
      {"no xref table", replaced("xref\n0", "xxxx\n0")},
      {"stream length past the end", replaced("<< /Length ", "<< /Length 9999")},
      {"page tree that contains itself", replaced("/Kids [", "/Kids [2 0 R ")},
      {"page count of a billion", replaced("/Count 3", "/Count 1000000000")},
      {"no pages", replaced("/Count 3", "/Count 0")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    check(c.bytes);
  }
  for (size_t n = 0; n < pdf.size(); n += 5) {
    SCOPED_TRACE("prefix " + std::to_string(n));
    check(pdf.substr(0, n));
  }
  for (size_t i = 0; i < pdf.size(); i += 3) {
    SCOPED_TRACE("flip at " + std::to_string(i));
    std::string s = pdf;
    s[i] = static_cast<char>(s[i] ^ 0x5A);
    check(s);
  }
  qlpdf_close();
}

TEST(PdfDocuments, PasswordProtectedFilesAreRefusedUnlessTheyOpenWithoutOne) {
  TempDir dir;
  write_file(dir / "plain.pdf", build_pdf(three_pages()));
  struct Case {
    const char* name;
    std::vector<std::string> options;
    int opens;
  } cases[] = {
      {"user password", {"-E", "aes-128", "-U", "secret", "-O", "owner"}, 0},
      {"aes-256 user password", {"-E", "aes-256", "-U", "secret", "-O", "owner"}, 0},
      {"owner password only", {"-E", "rc4-128", "-O", "owner"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"clean"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {dir / "plain.pdf", dir / "locked.pdf"});
    ASSERT_EQ(run_program("mutool", args, {}, 30000).status, 0);
    EXPECT_EQ(ql_open((dir / "locked.pdf").c_str()), c.opens);
    if (c.opens) {
      EXPECT_EQ(ql_page_count(), 3);
    } else {
      EXPECT_STREQ(ql_error(), "Password-protected PDFs are not supported");
    }
  }
  EXPECT_EQ(ql_open((dir / "missing.pdf").c_str()), 0);
  EXPECT_STREQ(ql_error(), "Cannot open the file");
}

// A flat picture w wide and 200 high: its shown proportions tell the pages apart.
std::string picture(int w) { return flat_png(w, 200, 40); }

TEST(PdfDocuments, ComicPagesAreItsPicturesInNaturalOrder) {
  const std::string cbz = zipw::build({
      {"__MACOSX/page 0.png", picture(30)},
      {".page 0.png", picture(30)},
      {"vol/.DS_Store.png", picture(30)},
      {"notes.txt", "not a page"},
      {"page 10.png", picture(80), zipw::kStored},
      {"Page 2.png", picture(60)},
      {"page 1.png", picture(40)},
      {"zz/page 3.PNG", picture(100)},
      {"huge.png", picture(30), zipw::kDeflated, 0, 0x5000000},
  });
  DocFile f(cbz, "comic.cbz");
  ASSERT_EQ(ql_open(f.path.c_str()), 1) << ql_error();
  EXPECT_EQ(ql_is_pdf(), 1u);
  EXPECT_STREQ(ql_title(), "comic.cbz");
  ASSERT_EQ(ql_page_count(), 4);
  const int widths[] = {40, 60, 80, 100};
  for (int page = 0; page < 4; ++page) {
    SCOPED_TRACE(page);
    const Placement p = render(page);
    EXPECT_NEAR(200.0 * p.w / p.h, widths[page], 1.0);
  }
  int x, y, w, h;
  EXPECT_EQ(qlpdf_page_images(&x, &y, &w, &h), 1);
  char word[16];
  EXPECT_EQ(qlpdf_word_at(0, x + w / 2, y + h / 2, nullptr, nullptr, nullptr, nullptr, word, sizeof word), 0);

  std::vector<uint8_t> cover(300 * 420);
  ASSERT_EQ(qlpdf_cover(f.path.c_str(), cover.data(), 300, 420), 1);
  EXPECT_EQ(cover[210 * 300 + 150], 40) << "the first page in the middle";
  EXPECT_EQ(cover[0], 255);
}

// A JPEG whose frame header claims 8000 x 8000 pixels (64 million) over a tiny picture.
std::string oversized_jpeg() {
  std::string j = encode_jpeg(std::vector<uint8_t>(8 * 8, 128), 8, 8, 1);
  const size_t frame = j.find(std::string("\xFF\xC0", 2));
  j.replace(frame + 5, 4, std::string("\x1F\x40\x1F\x40", 4));
  return j;
}

TEST(PdfDocuments, ComicsWithBrokenPagesShowTheRestAndWithoutAnyAreRefused) {
  const std::string broken = "\x89PNG\r\n\x1a\nnot really";
  struct Case {
    const char* name;
    std::vector<zipw::Member> members;
    int pages;  // 0: refused
    const char* error;
  } cases[] = {
      {"one broken page", {{"1.png", picture(40)}, {"2.png", broken}, {"3.png", picture(40)}}, 3, ""},
      {"size stated larger than the data",
       {{"1.png", picture(40)}, {"2.png", picture(40), zipw::kDeflated, 0, 99999}},
       2,
       ""},
      {"every page broken", {{"1.png", broken}, {"2.jpg", "\xFF\xD8\xFF"}}, 0, "This comic has no readable pages"},
      {"every page over the pixel limit", {{"1.jpg", oversized_jpeg()}}, 0, "This comic has no readable pages"},
      {"no pictures", {{"readme.txt", "hello"}}, 0, "This comic has no readable pages"},
      {"an empty archive", {}, 0, "This comic has no readable pages"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DocFile f(zipw::build(c.members), "comic.cbz");
    ASSERT_EQ(qlpdf_open(f.path.c_str()), c.pages > 0 ? 1 : 0);
    if (!c.pages) {
      EXPECT_STREQ(qlpdf_error(), c.error);
      continue;
    }
    EXPECT_EQ(qlpdf_count(), c.pages);
    std::vector<uint8_t> screen(size_t(kW) * kH);
    EXPECT_EQ(qlpdf_render(1, screen.data(), kW, kH), 0);
    EXPECT_STREQ(qlpdf_error(), "This page could not be drawn");
    EXPECT_EQ(qlpdf_render(0, screen.data(), kW, kH), 1);
  }
  // Every prefix of a comic fails cleanly or opens and draws.
  const std::string cbz = zipw::build({{"1.png", picture(40)}, {"2.png", picture(60), zipw::kStored}});
  for (size_t n = 0; n < cbz.size(); n += 7) {
    DocFile f(cbz.substr(0, n), "cut.cbz");
    if (qlpdf_open(f.path.c_str())) draw_every_page();
  }
  qlpdf_close();
}

TEST(PdfDocuments, ComicPagesAreDecodedForTheSizeTheyAreDrawn) {
  // A tall JPEG page (decoded small, as it is drawn) and a PNG one: each is placed by its header's
  // size and shows what the whole picture, decoded and fitted, shows.
  const int w = 120, h = 520;
  std::vector<uint8_t> rgb(size_t(w) * h * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = uint8_t(30 + (i / 3 % w + i / 3 / w) * 190 / (w + h) + i % 3 * 5);
  const std::string jpeg = encode_jpeg(rgb, w, h, 3), png = flat_png(300, 420, 90);
  DocFile f(zipw::build({{"1.jpg", jpeg}, {"2.png", png}}), "tall.cbz");
  ASSERT_EQ(qlpdf_open(f.path.c_str()), 1) << qlpdf_error();
  for (int page = 0; page < 2; ++page) {
    SCOPED_TRACE(page);
    const std::string& bytes = page ? png : jpeg;
    std::vector<uint8_t> screen(size_t(kW) * kH, 7);
    ASSERT_EQ(qlpdf_render(page, screen.data(), kW, kH), 1);
    int x, y, pw, ph;
    qlpdf_page_images(&x, &y, &pw, &ph);
    EXPECT_EQ(ph, kH - 180) << "a tall page fills the height";
    EXPECT_NEAR(double(pw) / ph, page ? 300.0 / 420 : double(w) / h, 0.01);
    int fw = 0, fh = 0;
    uint8_t* full = ql_img_gray(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &fw, &fh);
    ASSERT_NE(full, nullptr);
    std::vector<uint8_t> want(size_t(pw) * ph);
    ql_scale_gray(full, fw, fh, want.data(), pw, ph);
    free(full);
    double diff = 0;
    for (int r = 0; r < ph; ++r)
      for (int c = 0; c < pw; ++c)
        diff += std::abs(int(screen[size_t(y + r) * kW + size_t(x + c)]) - int(want[size_t(r) * pw + size_t(c)]));
    EXPECT_LT(diff / (double(pw) * ph), 1.5);
  }
  qlpdf_close();
}

uint32_t get32(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + static_cast<size_t>(i)]);
  return v;
}
void set32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
}

// Writes `zip`, whose first member is stored and empty, with `gap` bytes of a hole in the file as
// that member's data: every later offset moves by the gap, and the file grows by it without
// taking that room on the disk.
void write_with_gap(const std::string& path, std::string zip, uint32_t gap) {
  const size_t data = 30 + (get32(zip, 26) & 0xFFFF);
  set32(zip, 18, gap);  // the local header's sizes
  set32(zip, 22, gap);
  const size_t end = zip.size() - 22;
  const uint32_t cd = get32(zip, end + 16);
  size_t entry = cd;
  for (uint32_t i = 0; i < (get32(zip, end + 8) & 0xFFFF); ++i) {
    if (i == 0) {
      set32(zip, entry + 20, gap);
      set32(zip, entry + 24, gap);
    } else {
      set32(zip, entry + 42, get32(zip, entry + 42) + gap);
    }
    entry += 46 + (get32(zip, entry + 28) & 0xFFFF) + (get32(zip, entry + 30) & 0xFFFF) +
             (get32(zip, entry + 32) & 0xFFFF);
  }
  set32(zip, end + 16, cd + gap);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(zip.data(), 1, data, f);
  ASSERT_EQ(fseeko(f, static_cast<off_t>(gap), SEEK_CUR), 0);
  std::fwrite(zip.data() + data, 1, zip.size() - data, f);
  ASSERT_EQ(std::fclose(f), 0);
}

// Comics are read from the file as pages are shown: bytes after the end record (whatever the
// comment length says) and a size past 1 GiB are no reason to refuse one.
TEST(PdfDocuments, ComicsWithTrailingBytesOrOverAGibibyteOpen) {
  const std::vector<zipw::Member> pages = {{"1.png", picture(40)}, {"2.png", picture(60)}};
  TempDir dir;
  const std::string trailing = dir / "trailing.cbz";
  write_file(trailing, zipw::build(pages) + std::string(300, '\0') + "padding");
  const std::string commented = dir / "commented.cbz";
  write_file(commented, zipw::build(pages, "a comment") + "and more");
  const std::string large = dir / "large.cbz";
  std::vector<zipw::Member> padded = {{"pad.bin", "", zipw::kStored}};
  padded.insert(padded.end(), pages.begin(), pages.end());
  write_with_gap(large, zipw::build(padded), 0x48000000);  // 1.125 GiB
  for (const std::string& path : {trailing, commented, large}) {
    SCOPED_TRACE(path);
    ASSERT_EQ(qlpdf_open(path.c_str()), 1) << qlpdf_error();
    ASSERT_EQ(qlpdf_count(), 2);
    for (int page = 0; page < 2; ++page) {
      const Placement p = render(page);
      EXPECT_NEAR(200.0 * p.w / p.h, page == 0 ? 40 : 60, 1.0);
    }
  }
  qlpdf_close();
}

TEST(PdfDocuments, CoverIsTheFirstPageCentred) {
  DocFile f(build_pdf(three_pages()), "cover.pdf");
  std::vector<uint8_t> cover(300 * 420, 7);
  ASSERT_EQ(qlpdf_cover(f.path.c_str(), cover.data(), 300, 420), 1);
  EXPECT_GT(std::count_if(cover.begin(), cover.end(), [](uint8_t v) { return v < 128; }), 20)
      << "the page's text is drawn";
  EXPECT_EQ(std::count(cover.begin(), cover.end(), 7), 0);
  DocFile text(std::string("just some words"), "notes.pdf");
  EXPECT_EQ(qlpdf_cover(text.path.c_str(), cover.data(), 300, 420), 0);
}

}  // namespace
