// The ".lay" layout cache read against a small open book. Only a file that matches the book's key
// and whose every record fits the book may be trusted, because drawing then indexes words and
// offsets without further checks: every accepted file is drawn page by page, written back and
// read again to the same table.
//
// Input: byte 0 bit 0 clear: the rest is the whole file. Set: the file gets a correct header with
// the open book's key (so the records are reached); byte 1 picks the page count, the rest holds
// the line records and page starts, cut to whole records.
#include <stb_image_write.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

#include "../tests/support/zip_writer.h"
#include "app/reader/layout_cache.h"
#include "app/reader/paginator.h"
#include "app/reader/reader_page.h"
#include "base/byte_reader.h"
#include "book/book_model.h"
#include "display/framebuffer.h"
#include "fuzz_support.h"

namespace {

constexpr char kBookPath[] = "/mnt/us/tiny.epub";
constexpr char kCachePath[] = "/mnt/us/tiny.lay";
constexpr char kRewrittenPath[] = "/mnt/us/tiny-again.lay";
constexpr size_t kHeaderBytes = 24;
constexpr size_t kRecordBytes = 24;
constexpr size_t kPageStartBytes = 4;
constexpr uint64_t kMaxPagesDrawn = 6;

uint64_t g_key = 0;

std::string xhtml(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\">"
         "<head><title>t</title></head><body>" + body + "</body></html>";
}

void append_bytes(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

// Two chapters with a heading, long hyphenatable words (split lines), a picture line and enough
// text for several pages at a large size.
std::string tiny_epub() {
  std::string text;
  for (int i = 0; i < 14; ++i) {
    text += "<p>Incomprehensibilities notwithstanding, the characteristically extraordinary "
            "counterrevolutionaries <i>deliberated</i> <b>uncharacteristically</b> long.</p>";
  }
  uint8_t pixels[6 * 4];
  for (size_t i = 0; i < sizeof pixels; ++i) pixels[i] = uint8_t(i * 10);
  std::string png;
  stbi_write_png_to_func(append_bytes, &png, 6, 4, 1, pixels, 0);
  const std::string opf =
      "<?xml version=\"1.0\"?><package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" "
      "unique-identifier=\"id\"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
      "<dc:identifier id=\"id\">tiny</dc:identifier><dc:title>Tiny</dc:title>"
      "<dc:language>en</dc:language></metadata><manifest>"
      "<item id=\"c1\" href=\"c1.xhtml\" media-type=\"application/xhtml+xml\"/>"
      "<item id=\"c2\" href=\"c2.xhtml\" media-type=\"application/xhtml+xml\"/>"
      "<item id=\"p\" href=\"p.png\" media-type=\"image/png\"/></manifest>"
      "<spine><itemref idref=\"c1\"/><itemref idref=\"c2\"/></spine></package>";
  return zipw::build({
      {"mimetype", "application/epub+zip", zipw::kStored},
      {"META-INF/container.xml",
       "<?xml version=\"1.0\"?><container version=\"1.0\" "
       "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles><rootfile "
       "full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/>"
       "</rootfiles></container>"},
      {"OEBPS/content.opf", opf},
      {"OEBPS/c1.xhtml", xhtml("<h1>One</h1><p><img src=\"p.png\"/></p>" + text)},
      {"OEBPS/c2.xhtml", xhtml("<h2>Two</h2>" + text)},
      {"OEBPS/p.png", png, zipw::kStored},
  });
}

std::string read_all(const char* device_path) {
  FilePtr f(qlp_fopen(device_path, "rb"));
  std::string bytes;
  char buf[4096];
  size_t got;
  while (f && (got = fread(buf, 1, sizeof buf, f.get())) > 0) bytes.append(buf, got);
  return bytes;
}

void write_seeds() {
  const std::string file = read_all(kCachePath);
  if (file.size() < kHeaderBytes) __builtin_trap();
  const uint32_t pages = ByteReader(file).u32le_at(8);
  fuzz::write_seed("whole.lay", "\x02" + file);
  fuzz::write_seed("records.lay", "\x01" + std::string(1, char(pages - 1)) + file.substr(kHeaderBytes));
  fuzz::write_seed("cut.lay", "\x02" + file.substr(0, file.size() - 5));
}

bool same_table(const PageTable& a, const PageTable& b) {
  if (a.lines.size() != b.lines.size() || a.page_starts != b.page_starts) return false;
  for (size_t i = 0; i < a.lines.size(); ++i) {
    const LayoutLine &x = a.lines[i], &y = b.lines[i];
    if (x.word_from != y.word_from || x.word_to != y.word_to || x.gaps != y.gaps ||
        memcmp(&x.y, &y.y, sizeof x.y) != 0 || memcmp(&x.width, &y.width, sizeof x.width) != 0 ||
        x.start_off != y.start_off || x.cut_off != y.cut_off || x.justify != y.justify) {
      return false;
    }
  }
  return true;
}

// The cache file for the input: as given, or behind a correct header.
std::string cache_file_of(const uint8_t* data, size_t size) {
  if (!(data[0] & 1)) return std::string(reinterpret_cast<const char*>(data + 1), size - 1);
  if (size < 2) return {};
  const size_t body = size - 2;
  const size_t most_pages = body / (kRecordBytes + kPageStartBytes);
  if (most_pages == 0) return {};
  const uint32_t p = uint32_t(1 + data[1] % most_pages);
  const uint32_t n = uint32_t((body - p * kPageStartBytes) / kRecordBytes);
  std::string file(kHeaderBytes, '\0');
  memcpy(file.data(), "QLAY", 4);
  for (int i = 0; i < 4; ++i) {
    file[4 + i] = char(n >> (8 * i));
    file[8 + i] = char(p >> (8 * i));
    file[12 + i] = char(kLayoutFormat >> (8 * i));
  }
  for (int i = 0; i < 8; ++i) file[16 + i] = char(g_key >> (8 * i));
  return file + std::string(reinterpret_cast<const char*>(data + 2), size_t(n) * kRecordBytes + p * kPageStartBytes);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::device_root();
  if (!ql_init(1)) __builtin_trap();
  const std::string book = tiny_epub();
  fuzz::write_device_file(kBookPath, book.data(), book.size());
  if (!ql_open(kBookPath)) __builtin_trap();
  // A large size on the full screen: several pages and hyphenated line ends.
  layout.margin_px = 64;
  layout.line_pct = 120;
  if (!layout_paginate(96) || layout.page_count() < 2) __builtin_trap();
  g_key = layout.key;
  if (!layout_file_write(kCachePath, layout)) __builtin_trap();
  if (fuzz::seed_folder()) {
    write_seeds();
    exit(0);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string file = cache_file_of(data, size);
  fuzz::write_device_file(kCachePath, file.data(), file.size());
  const std::span<const BookWord> words(ql_words(), ql_word_count());
  if (!layout_file_read(kCachePath, g_key, words, ql_fb().height, layout)) {
    if (!layout.lines.empty() || !layout.page_starts.empty()) __builtin_trap();
    return 0;
  }
  for (uint64_t page = 0; page < layout.page_count() && page < kMaxPagesDrawn; ++page) {
    reader_render_text_page(page);
  }
  // What was trusted is written and read back unchanged.
  const PageTable loaded = layout;
  if (!layout_file_write(kRewrittenPath, loaded)) __builtin_trap();
  PageTable again;
  if (!layout_file_read(kRewrittenPath, g_key, words, ql_fb().height, again) || !same_table(loaded, again)) {
    __builtin_trap();
  }
  return 0;
}
