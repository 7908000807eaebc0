// The converter's readers on arbitrary bytes. The first byte picks the reader (MOBI family, FB2,
// plain text); whatever a reader accepts is written as an EPUB, which must open again through
// the ZIP reader with one member per chapter and picture beside the four fixed ones.
#include <cstdint>
#include <string>
#include <string_view>

#include "../tests/book/convert/palmdb_builder.h"
#include "book/convert/convert_model.h"
#include "book/zip_reader.h"
#include "fuzz_chapters.h"
#include "fuzz_support.h"

namespace {
// Each seed body as an uncompressed MOBI's text, an FB2 with verse and empty lines, and plain text
// with soft hyphens, dashes and no-break spaces.
void write_seeds() {
  for (size_t i = 0; i < fuzz::kSeedBodies.size(); i++) {
    std::string html = "<html><body>";
    html.append(fuzz::kSeedBodies[i]).append("</body></html>");
    fuzz::write_seed("mobi" + std::to_string(i), std::string(1, '\0') + palmdb({record0({}), html}));
  }
  fuzz::write_seed("fb2", std::string(1, '\1') +
      "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info><book-title>"
      "Seed</book-title></title-info></description><body><section><title><p>One</p></title>"
      "<poem><stanza><v>A line</v><v>and an\xC2\xADother</v></stanza></poem><empty-line/>"
      "<p>road\xE2\x80\x94<emphasis>one</emphasis> word--word \xC2\xAB\xC2\xA0Oui\xC2\xA0\xC2\xBB</p>"
      "</section></body></FictionBook>");
  fuzz::write_seed("text", std::string(1, '\2') +
      "Seed\n\nA soft hy\xC2\xADphen and word--word.\nA line\nand its next.\n\n\xC2\xAB\xC2\xA0Oui\xC2\xA0\xC2\xBB\n");
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::begin(write_seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  ConvBook book;
  std::optional<std::string> failure;
  switch (data[0] % 3) {
    case 0: failure = mobi_read(bytes, "/mnt/us/documents/f.mobi", book); break;
    case 1: failure = fb2_read(bytes, "/mnt/us/documents/f.fb2", book); break;
    default: failure = text_read(bytes, "/mnt/us/documents/f.txt", book); break;
  }
  if (failure) {
    if (failure->empty()) __builtin_trap();
    return 0;
  }
  if (book.chapters.empty() || book.title.size() > kConvTitleMax) __builtin_trap();
  const std::string out = "/mnt/us/book.epub";
  fuzz::device_root();
  if (!epub_write(book, out)) return 0;
  ZipArchive zip;
  if (!zipopen_mode(zip, out.c_str(), 0)) __builtin_trap();
  if (!zipextract(zip, "OEBPS/content.opf") || !zipextract(zip, "OEBPS/c00000.xhtml")) __builtin_trap();
  zipclose(zip);
  return 0;
}
