// The ZIP reader and the inflater on arbitrary bytes. The first byte picks what the rest is:
//   0: an archive, opened read-from-file and read-into-memory; both must list and extract the
//      same members, and a member's prefix must agree with its whole extraction;
//   1: raw deflate, inflated whole and fed in small pieces (same status and bytes), into a room
//      set by the next two bytes;
//   2: a gzip file, whose inflated size n must also come out under a limit of n and fail under
//      n - 1.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "../tests/support/zip_writer.h"
#include "base/byte_reader.h"
#include "book/inflate.h"
#include "book/zip_reader.h"
#include "fuzz_support.h"

namespace {
constexpr size_t kMembersChecked = 24;  // enough to cover any real book's interesting members
constexpr size_t kPrefixSizes[] = {0, 1, 24, 512, 70000};

// The first `limit` member names from the kept central directory, walked as the reader walks it.
std::vector<std::string> member_names(const ZipArchive& z, size_t limit) {
  std::vector<std::string> names;
  for (const ZipMember& m : zip_members(z)) {
    if (names.size() == limit) break;
    names.emplace_back(m.name);
  }
  return names;
}

// A name the archive does not hold: fuzzed archives can hold any fixed guess.
std::string absent_name(const ZipArchive& z) {
  const std::vector<std::string> listed = member_names(z, z.entries());
  const std::set<std::string> names(listed.begin(), listed.end());
  std::string name = "no/such/member";
  while (names.count(name)) name += "/x";
  return name;
}

void check_archive(const uint8_t* data, size_t size, size_t prefix_max) {
  const std::string path = fuzz::device_root() + "/book.zip";
  fuzz::write_host_file(path, data, size);
  ZipArchive mapped, heap;
  bool open_mapped = zipopen_mode(mapped, path.c_str(), 1);
  bool open_heap = zipopen_mode(heap, path.c_str(), 0);
  if (open_mapped != open_heap) __builtin_trap();
  if (!open_mapped) return;
  if (mapped.entries() != heap.entries() || mapped.cd_offset() != heap.cd_offset() ||
      mapped.cd_offset() > mapped.size() || !mapped.mapped() || heap.mapped())
    __builtin_trap();
  // A name that does not exist, and one that can never be returned.
  if (zipextract(mapped, absent_name(mapped)) || zipextract(mapped, "../escape")) __builtin_trap();
  for (const std::string& name : member_names(mapped, kMembersChecked)) {
    auto whole = zipextract(mapped, name);
    auto whole_heap = zipextract(heap, name);
    if (whole != whole_heap) __builtin_trap();
    if (whole && (whole->size() > kZipMaxMemberSize || !zip_member_path_is_safe(name))) __builtin_trap();
    auto prefix = zip_read_prefix(mapped, name, prefix_max);
    if (prefix != zip_read_prefix(heap, name, prefix_max)) __builtin_trap();
    if (prefix && prefix->size() > prefix_max) __builtin_trap();
    if (whole) {
      // What the whole extraction produced without complaint, the prefix reads the same. (A
      // stream may go on past its stated size into damage: the whole member is cut before it,
      // while a prefix reaching there is refused.)
      size_t common = std::min(prefix_max, whole->size());
      if (!prefix && prefix_max <= whole->size()) __builtin_trap();
      if (prefix && (prefix->size() < common || prefix->compare(0, common, *whole, 0, common) != 0))
        __builtin_trap();
    }
  }
  zipclose(mapped);
  if (mapped.is_open() || zipextract(mapped, "mimetype")) __builtin_trap();
}

void check_raw(const uint8_t* data, size_t size, size_t room) {
  std::vector<uint8_t> whole_out(room), piece_out(room);
  InflateResult whole = inflate_raw({data, size}, whole_out);
  // The same stream from a source that hands over a few bytes at a time.
  size_t off = 0, step = 1;
  InflateSource pieces = [&](std::span<uint8_t> buf) {
    size_t n = std::min({buf.size(), size - off, step});
    memcpy(buf.data(), data + off, n);
    off += n;
    step = step % 7 + 1;
    return n;
  };
  InflateResult piecewise = inflate_raw(pieces, piece_out);
  if (whole.produced > room || piecewise.produced > room) __builtin_trap();
  if (whole.status != piecewise.status || whole.produced != piecewise.produced ||
      (whole.produced && memcmp(whole_out.data(), piece_out.data(), whole.produced) != 0))
    __builtin_trap();
  if (whole.status == InflateStatus::full && whole.produced != room) __builtin_trap();
}

void check_gzip(const uint8_t* data, size_t size) {
  constexpr size_t kGzipMax = 1 << 20;
  auto out = inflate_gzip({data, size}, kGzipMax);
  if (!out) return;
  if (out->size() > kGzipMax) __builtin_trap();
  if (inflate_gzip({data, size}, out->size()) != out) __builtin_trap();
  if (!out->empty() && inflate_gzip({data, size}, out->size() - 1)) __builtin_trap();
}
// An archive in ZIP64 form: its sizes, offsets and directory left to the ZIP64 fields.
void write_seeds() {
  const std::vector<zipw::Member> members = {{"mimetype", "application/epub+zip", zipw::kStored},
                                             {"a/b.xhtml", std::string(3000, 'b')}};
  fuzz::write_seed("zip64", std::string(1, '\x03') + zipw::build(members, {}, 0));
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::begin(write_seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  switch (data[0] % 3) {
    case 0:
      check_archive(data + 1, size - 1, kPrefixSizes[data[0] / 3 % std::size(kPrefixSizes)]);
      break;
    case 1:
      check_raw(data + 3, size - 3, static_cast<size_t>(ByteReader(data, size).u16le_at(1)) * 16);
      break;
    default:
      check_gzip(data + 1, size - 1);
      break;
  }
  return 0;
}
