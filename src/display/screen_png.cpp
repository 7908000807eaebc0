// The active grey plane written as an 8-bit grey PNG (screenshots and the tool modes). Written for
// speed, since a page written by the render mode waits on it: each row gets the cheaper of two
// filters, and libdeflate compresses at a low level, which costs little in size on pages of text.
#include <libdeflate.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/paths.h"
#include "display/framebuffer.h"
#include "display/png_write.h"

namespace {
constexpr int kLevel = 2;
constexpr uint8_t kFilterNone = 0, kFilterUp = 2;

// The file's parts around the compressed rows: the signature, the IHDR chunk and the IDAT chunk's
// length and type before them; the IDAT chunk's CRC and the IEND chunk after them.
constexpr size_t kSignatureBytes = 8, kHeaderChunkBytes = 25, kChunkHeadBytes = 8;
constexpr size_t kRowsAt = kSignatureBytes + kHeaderChunkBytes + kChunkHeadBytes;
constexpr size_t kAfterRows = 4 + 12;

char* put_be32(char* out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) *out++ = static_cast<char>(v >> shift & 0xFF);
  return out;
}

// Completes the chunk at `chunk` whose type and `size` bytes of data are in place after its length:
// writes the length and the CRC; returns the end of the chunk.
char* close_chunk(char* chunk, size_t size) {
  put_be32(chunk, static_cast<uint32_t>(size));
  const uint32_t crc = libdeflate_crc32(0, chunk + 4, size + 4);
  return put_be32(chunk + kChunkHeadBytes + size, crc);
}

// A row's filter byte and filtered bytes: "up" (the difference from the row above) where that
// leaves smaller values, as it does in pictures; none where it does not, as in text.
void filter_row(const uint8_t* row, const uint8_t* above, int width, uint8_t* out) {
  uint32_t plain = 0, up = 0;
  if (above) {
    for (int x = 0; x < width; ++x) {
      const auto p = static_cast<int8_t>(row[x]);
      const auto d = static_cast<int8_t>(row[x] - above[x]);
      plain += static_cast<uint32_t>(p < 0 ? -p : p);
      up += static_cast<uint32_t>(d < 0 ? -d : d);
    }
  }
  const bool use_up = above && up < plain;
  out[0] = use_up ? kFilterUp : kFilterNone;
  for (int x = 0; x < width; ++x) out[x + 1] = use_up ? static_cast<uint8_t>(row[x] - above[x]) : row[x];
}

struct CompressorFree {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// The whole file in one block, the rows compressed straight into their place in it, so that no part
// of it is held twice.
struct PngFile {
  std::unique_ptr<char[]> bytes;
  size_t size = 0;
};

PngFile encode_png(const uint8_t* pixels, int width, int height, int stride) {
  if (!pixels || width < 1 || height < 1 || stride < width) return {};
  const size_t row_bytes = static_cast<size_t>(width) + 1;
  std::unique_ptr<libdeflate_compressor, CompressorFree> compressor(libdeflate_alloc_compressor(kLevel));
  if (!compressor) return {};
  try {
    std::vector<uint8_t> filtered(row_bytes * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
      filter_row(row, y ? row - stride : nullptr, width, filtered.data() + row_bytes * static_cast<size_t>(y));
    }
    // The bound is the size of the rows; what the compressor leaves unwritten is never touched.
    const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), filtered.size());
    PngFile png{std::make_unique_for_overwrite<char[]>(kRowsAt + bound + kAfterRows)};
    char* const file = png.bytes.get();
    const size_t packed =
        libdeflate_zlib_compress(compressor.get(), filtered.data(), filtered.size(), file + kRowsAt, bound);
    if (packed == 0) return {};
    memcpy(file, "\x89PNG\r\n\x1a\n", kSignatureBytes);
    char* at = file + kSignatureBytes;
    memcpy(at + 4, "IHDR", 4);
    put_be32(put_be32(at + kChunkHeadBytes, static_cast<uint32_t>(width)), static_cast<uint32_t>(height));
    // 8 bits, grey, deflate, filtered rows, not interlaced
    memcpy(at + kChunkHeadBytes + 8, "\x08\x00\x00\x00\x00", 5);
    at = close_chunk(at, 13);
    memcpy(at + 4, "IDAT", 4);
    at = close_chunk(at, packed);
    memcpy(at + 4, "IEND", 4);
    png.size = static_cast<size_t>(close_chunk(at, 0) - file);
    return png;
  } catch (const std::bad_alloc&) {
    return {};
  }
}
}  // namespace

std::string png_encode_grey(const uint8_t* pixels, int width, int height, int stride) {
  const PngFile png = encode_png(pixels, width, height, stride);
  return png.size ? std::string(png.bytes.get(), png.size) : std::string();
}

int ql_png(const char* path) {
  const Framebuffer& fb = ql_fb();
  if (!fb.pixels || !path) return 0;
  const PngFile png = encode_png(fb.pixels, fb.width, fb.height, fb.width);
  if (png.size == 0) return 0;
  FilePtr f(fopen(path, "wb"));
  const bool ok = f && fwrite(png.bytes.get(), 1, png.size, f.get()) == png.size && fflush(f.get()) == 0;
  return ok ? 1 : 0;
}
