// The active grey plane written as an 8-bit grey PNG (screenshots and the tool modes). Written for
// speed, since a page written by the render mode waits on it: each row gets the cheaper of two
// filters, and libdeflate compresses at a low level, which costs little in size on pages of text.
#include <libdeflate.h>

#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "base/paths.h"
#include "display/framebuffer.h"
#include "display/png_write.h"

namespace {
constexpr int kLevel = 2;
constexpr uint8_t kFilterNone = 0, kFilterUp = 2;

void put_be32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(v >> shift & 0xFF);
}

void put_chunk(std::string& out, std::string_view type, std::string_view data) {
  put_be32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.append(type).append(data);
  put_be32(out, libdeflate_crc32(0, out.data() + start, out.size() - start));
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
}  // namespace

std::string png_encode_grey(const uint8_t* pixels, int width, int height, int stride) {
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
    const auto packed_rows = std::make_unique_for_overwrite<char[]>(bound);
    const size_t packed =
        libdeflate_zlib_compress(compressor.get(), filtered.data(), filtered.size(), packed_rows.get(), bound);
    if (packed == 0) return {};
    const std::string_view idat(packed_rows.get(), packed);
    std::string header;
    put_be32(header, static_cast<uint32_t>(width));
    put_be32(header, static_cast<uint32_t>(height));
    header.append("\x08\x00\x00\x00\x00", 5);  // 8 bits, grey, deflate, filtered rows, not interlaced
    std::string png("\x89PNG\r\n\x1a\n", 8);
    png.reserve(packed + 64);
    put_chunk(png, "IHDR", header);
    put_chunk(png, "IDAT", idat);
    put_chunk(png, "IEND", {});
    return png;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

int ql_png(const char* path) {
  const Framebuffer& fb = ql_fb();
  if (!fb.pixels || !path) return 0;
  const std::string png = png_encode_grey(fb.pixels, fb.width, fb.height, fb.width);
  if (png.empty()) return 0;
  FilePtr f(fopen(path, "wb"));
  const bool ok = f && fwrite(png.data(), 1, png.size(), f.get()) == png.size() && fflush(f.get()) == 0;
  return ok ? 1 : 0;
}
