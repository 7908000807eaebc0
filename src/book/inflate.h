// Decompression of deflate data through zlib, shared by every reader of compressed members and
// files (book archives, comic pages, pictures, dictionaries, downloads). Output is always bounded
// by the caller: a stream never writes past the room it was given.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

enum class InflateStatus {
  done,        // the stream ended within the room given
  full,        // the room was filled before the stream ended (the output is cut there)
  short_input, // the compressed bytes ran out before the stream ended
  damaged,     // the stream is not valid deflate data (or zlib could not start)
};

struct InflateResult {
  InflateStatus status;
  size_t produced;  // bytes written to the output
};

// Pulls compressed bytes into its buffer and returns how many it gave; 0 means no more.
using InflateSource = std::function<size_t(std::span<uint8_t>)>;

// Raw deflate (no zlib or gzip wrapper) into `out`, at most out.size() bytes.
InflateResult inflate_raw(std::span<const uint8_t> in, std::span<uint8_t> out);
InflateResult inflate_raw(const InflateSource& source, std::span<uint8_t> out);
// The same after discarding the first `skip` bytes of output, for reading a slice of a stream
// that cannot be entered in the middle. A stream that ends within the skipped part is `done`
// with nothing produced.
InflateResult inflate_raw_after(const InflateSource& source, uint64_t skip, std::span<uint8_t> out);

// Receives decoded bytes as they come; false stops the stream.
using InflateSink = std::function<bool(std::span<const uint8_t>)>;

// Raw deflate from `source` handed to `sink` through a 32 KiB window, for members too large to
// hold (audiobook archives): the sink bounds the output. done, short_input, damaged, or full when
// the sink refused a block.
InflateStatus inflate_to(const InflateSource& source, const InflateSink& sink);

// A whole gzip file (one member) when it inflates to at most `max_out` bytes; nothing when it is
// damaged, cut short or larger.
std::optional<std::string> inflate_gzip(std::span<const uint8_t> in, size_t max_out);
