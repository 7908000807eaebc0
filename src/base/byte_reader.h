// A bounded reader over bytes that came from a file: every read checks what is left first, so a
// length or an offset taken from the file can never carry a read past the end.
//
// Two ways in, over the same view:
// - a cursor (`u16le()`, `skip`, `seek`, `take`): a read that does not fit returns 0, sets the
//   sticky `failed()` flag and leaves the cursor at the end, so a parser can read a whole record
//   and check once;
// - positional peeks (`u16be_at(off)`, `sub`, `from`) for tables addressed by offsets (fonts):
//   they never move the cursor or touch the flag, give 0 outside the view, and callers check `has`
//   wherever a count or an offset from the file decides how far they go.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

class ByteReader {
 public:
  constexpr ByteReader() = default;
  constexpr ByteReader(const uint8_t* data, size_t size) : p_(data), n_(data ? size : 0) {}
  ByteReader(const void* data, size_t size) : ByteReader(static_cast<const uint8_t*>(data), size) {}
  explicit ByteReader(std::span<const std::byte> bytes) : ByteReader(bytes.data(), bytes.size()) {}
  explicit ByteReader(std::span<const uint8_t> bytes) : ByteReader(bytes.data(), bytes.size()) {}
  explicit ByteReader(std::string_view bytes) : ByteReader(bytes.data(), bytes.size()) {}

  const uint8_t* data() const { return p_; }
  size_t size() const { return n_; }
  bool empty() const { return n_ == 0; }
  std::span<const uint8_t> bytes() const { return {p_, n_}; }
  std::string_view chars() const { return {reinterpret_cast<const char*>(p_), n_}; }
  // Whether `len` bytes at `off` lie inside the view (in the form that cannot wrap around).
  bool has(size_t off, size_t len) const { return off <= n_ && len <= n_ - off; }

  // The cursor.
  size_t pos() const { return pos_; }
  size_t remaining() const { return n_ - pos_; }
  bool failed() const { return failed_; }

  uint8_t u8() { return uint8_t(next<1, false>()); }
  uint16_t u16le() { return uint16_t(next<2, false>()); }
  uint16_t u16be() { return uint16_t(next<2, true>()); }
  uint32_t u24le() { return uint32_t(next<3, false>()); }
  uint32_t u24be() { return uint32_t(next<3, true>()); }
  uint32_t u32le() { return uint32_t(next<4, false>()); }
  uint32_t u32be() { return uint32_t(next<4, true>()); }
  uint64_t u64le() { return next<8, false>(); }
  uint64_t u64be() { return next<8, true>(); }

  // Moves the cursor `len` bytes on; false (and failed) when fewer are left.
  bool skip(size_t len) {
    if (len > remaining()) return fail();
    pos_ += len;
    return true;
  }
  // Puts the cursor at `off` from the start; false (and failed) when that lies past the end. The
  // flag stays as it was: a parser that seeks on after a failed read still knows it failed.
  bool seek(size_t off) {
    if (off > n_) return fail();
    pos_ = off;
    return true;
  }
  // The next `len` bytes as a view of their own, the cursor moved past them; an empty failed view
  // (and this one failed) when fewer are left.
  ByteReader take(size_t len) {
    if (len > remaining()) {
      fail();
      return failed_view();
    }
    ByteReader part(p_ + pos_, len);
    pos_ += len;
    return part;
  }
  // The next `len` bytes as characters (names, tags); empty and failed when fewer are left.
  std::string_view text(size_t len) { return take(len).chars(); }

  // Positional peeks.
  uint8_t u8_at(size_t off) const { return uint8_t(load<1, false>(off)); }
  uint16_t u16le_at(size_t off) const { return uint16_t(load<2, false>(off)); }
  uint16_t u16be_at(size_t off) const { return uint16_t(load<2, true>(off)); }
  uint32_t u24le_at(size_t off) const { return uint32_t(load<3, false>(off)); }
  uint32_t u24be_at(size_t off) const { return uint32_t(load<3, true>(off)); }
  uint32_t u32le_at(size_t off) const { return uint32_t(load<4, false>(off)); }
  uint32_t u32be_at(size_t off) const { return uint32_t(load<4, true>(off)); }
  uint64_t u64le_at(size_t off) const { return load<8, false>(off); }
  uint64_t u64be_at(size_t off) const { return load<8, true>(off); }
  // Whether the bytes at `off` are exactly `tag` (magic numbers, chunk and box names).
  bool matches_at(size_t off, std::string_view tag) const {
    return has(off, tag.size()) && sub(off, tag.size()).chars() == tag;
  }

  // `len` bytes at `off` as a view of their own; an empty failed view when they do not fit.
  ByteReader sub(size_t off, size_t len) const {
    return has(off, len) ? ByteReader(p_ + off, len) : failed_view();
  }
  // The bytes from `off` to the end; an empty failed view when `off` lies past the end.
  ByteReader from(size_t off) const { return off <= n_ ? ByteReader(p_ + off, n_ - off) : failed_view(); }

 private:
  static ByteReader failed_view() {
    ByteReader r;
    r.failed_ = true;
    return r;
  }
  bool fail() {
    failed_ = true;
    pos_ = n_;
    return false;
  }
  template <size_t N, bool kBigEndian>
  uint64_t load(size_t off) const {
    if (!has(off, N)) return 0;
    uint64_t v = 0;
    for (size_t i = 0; i < N; ++i) v |= uint64_t(p_[off + i]) << (8 * (kBigEndian ? N - 1 - i : i));
    return v;
  }
  template <size_t N, bool kBigEndian>
  uint64_t next() {
    if (N > remaining()) {
      fail();
      return 0;
    }
    const uint64_t v = load<N, kBigEndian>(pos_);
    pos_ += N;
    return v;
  }

  const uint8_t* p_ = nullptr;
  size_t n_ = 0;
  size_t pos_ = 0;
  bool failed_ = false;
};
