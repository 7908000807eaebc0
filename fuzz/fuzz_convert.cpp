// The converter's readers on arbitrary bytes. The first byte picks the reader (MOBI family, FB2,
// plain text); whatever a reader accepts is written as an EPUB, which must open again through
// the ZIP reader with one member per chapter and picture beside the four fixed ones.
#include <cstdint>
#include <string>
#include <string_view>

#include "book/convert/convert_model.h"
#include "book/zip_reader.h"
#include "fuzz_support.h"

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
