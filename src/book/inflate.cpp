#include "book/inflate.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>
#include <zlib.h>

namespace {
constexpr int kRawWindowBits = -MAX_WBITS;
constexpr int kGzipWindowBits = 16 + MAX_WBITS;
constexpr size_t kInputChunk = 64 * 1024;
constexpr size_t kStreamWindow = 32 * 1024;

// Owns a zlib inflate stream for the length of one call.
class Stream {
 public:
  explicit Stream(int window_bits) { ok_ = inflateInit2(&z_, window_bits) == Z_OK; }
  ~Stream() {
    if (ok_) inflateEnd(&z_);
  }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  bool ok() const { return ok_; }
  z_stream& z() { return z_; }

 private:
  z_stream z_{};
  bool ok_ = false;
};

// Hands zlib the next chunk of input once it has used up the last one; notes the source's end.
void refill(z_stream& z, const InflateSource& source, std::span<uint8_t> chunk, bool& input_ended) {
  if (z.avail_in != 0 || input_ended) return;
  const size_t got = source(chunk);
  if (got == 0) {
    input_ended = true;
    return;
  }
  z.next_in = chunk.data();
  z.avail_in = static_cast<uInt>(std::min(got, chunk.size()));
}

// Inflates into `out` after throwing away the first `skip` bytes of output (they pass through a
// scratch buffer, so skipping costs time but no memory).
InflateResult run(int window_bits, const InflateSource& source, uint64_t skip, std::span<uint8_t> out) {
  Stream stream(window_bits);
  if (!stream.ok()) return {InflateStatus::damaged, 0};
  z_stream& z = stream.z();
  std::array<uint8_t, kInputChunk> chunk;
  std::vector<uint8_t> scratch(skip ? kInputChunk : 0);
  size_t produced = 0;
  bool input_ended = false;
  while (skip > 0) {
    refill(z, source, chunk, input_ended);
    const size_t room = static_cast<size_t>(std::min<uint64_t>(skip, scratch.size()));
    z.next_out = scratch.data();
    z.avail_out = static_cast<uInt>(room);
    int rc = inflate(&z, Z_NO_FLUSH);
    skip -= room - z.avail_out;
    if (rc == Z_STREAM_END) return {InflateStatus::done, 0};
    if (rc == Z_BUF_ERROR && z.avail_in == 0 && !input_ended) continue;
    if (rc == Z_BUF_ERROR) return {input_ended ? InflateStatus::short_input : InflateStatus::damaged, 0};
    if (rc != Z_OK) return {InflateStatus::damaged, 0};
  }
  for (;;) {
    refill(z, source, chunk, input_ended);
    size_t room = std::min<size_t>(out.size() - produced, UINT_MAX);
    z.next_out = out.data() + produced;
    z.avail_out = static_cast<uInt>(room);
    // Called even with no room left: the end of the stream needs input but no output.
    int rc = inflate(&z, Z_NO_FLUSH);
    produced += room - z.avail_out;
    if (rc == Z_STREAM_END) return {InflateStatus::done, produced};
    if (rc == Z_BUF_ERROR) {
      // No progress was possible: more input is wanted, or the output is full.
      if (z.avail_in == 0 && !input_ended) continue;
      if (produced == out.size()) return {InflateStatus::full, produced};
      if (input_ended) return {InflateStatus::short_input, produced};
      return {InflateStatus::damaged, produced};
    }
    if (rc != Z_OK) return {InflateStatus::damaged, produced};
    if (input_ended && z.avail_in == 0 && z.avail_out != 0) return {InflateStatus::short_input, produced};
  }
}

InflateSource from_span(std::span<const uint8_t> in) {
  return [in, off = size_t{0}](std::span<uint8_t> buf) mutable {
    size_t n = std::min(buf.size(), in.size() - off);
    if (n) memcpy(buf.data(), in.data() + off, n);
    off += n;
    return n;
  };
}
}  // namespace

InflateResult inflate_raw(std::span<const uint8_t> in, std::span<uint8_t> out) {
  return run(kRawWindowBits, from_span(in), 0, out);
}

InflateResult inflate_raw(const InflateSource& source, std::span<uint8_t> out) {
  return run(kRawWindowBits, source, 0, out);
}

InflateResult inflate_raw_after(const InflateSource& source, uint64_t skip, std::span<uint8_t> out) {
  return run(kRawWindowBits, source, skip, out);
}

InflateStatus inflate_to(const InflateSource& source, const InflateSink& sink) {
  Stream stream(kRawWindowBits);
  if (!stream.ok()) return InflateStatus::damaged;
  z_stream& z = stream.z();
  std::array<uint8_t, kInputChunk> chunk;
  std::array<uint8_t, kStreamWindow> window;
  bool input_ended = false;
  for (;;) {
    if (z.avail_in == 0 && !input_ended) {
      const size_t got = source(chunk);
      input_ended = got == 0;
      z.next_in = chunk.data();
      z.avail_in = static_cast<uInt>(std::min(got, chunk.size()));
    }
    z.next_out = window.data();
    z.avail_out = static_cast<uInt>(window.size());
    const int rc = inflate(&z, Z_NO_FLUSH);
    const size_t produced = window.size() - z.avail_out;
    if (produced && !sink(std::span<const uint8_t>(window.data(), produced))) {
      return InflateStatus::full;
    }
    if (rc == Z_STREAM_END) return InflateStatus::done;
    if (rc == Z_BUF_ERROR && z.avail_in == 0 && !input_ended) continue;
    if (rc != Z_OK && rc != Z_BUF_ERROR) return InflateStatus::damaged;
    if (input_ended && z.avail_in == 0 && produced == 0) return InflateStatus::short_input;
  }
}

std::optional<std::string> inflate_gzip(std::span<const uint8_t> in, size_t max_out) {
  // Grow the output as the stream proves it needs more, never past max_out + 1 (the extra byte
  // tells "exactly max_out" from "larger").
  const size_t cap = max_out < SIZE_MAX ? max_out + 1 : max_out;
  std::string out(std::min<size_t>(cap, std::max<size_t>(in.size() * 4, 4096)), '\0');
  auto source = from_span(in);
  Stream stream(kGzipWindowBits);
  if (!stream.ok()) return std::nullopt;
  z_stream& z = stream.z();
  std::array<uint8_t, kInputChunk> chunk;
  size_t produced = 0;
  for (;;) {
    if (z.avail_in == 0) {
      size_t got = source(chunk);
      if (got == 0) return std::nullopt;  // ended before the gzip trailer
      z.next_in = chunk.data();
      z.avail_in = static_cast<uInt>(got);
    }
    if (produced == out.size()) {
      if (out.size() >= cap) return std::nullopt;
      out.resize(std::min(cap, out.size() * 2));
    }
    size_t room = std::min<size_t>(out.size() - produced, UINT_MAX);
    z.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
    z.avail_out = static_cast<uInt>(room);
    int rc = inflate(&z, Z_NO_FLUSH);
    produced += room - z.avail_out;
    if (produced > max_out) return std::nullopt;
    if (rc == Z_STREAM_END) {
      out.resize(produced);
      return out;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) return std::nullopt;
  }
}
