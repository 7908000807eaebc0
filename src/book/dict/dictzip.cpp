#include "book/dict/dictzip.h"

#include <libdeflate.h>

#include <algorithm>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "base/byte_reader.h"
#include "book/dict/dict_file.h"
#include "book/inflate.h"

namespace {
constexpr uint8_t kFlagHeaderCrc = 0x02;
constexpr uint8_t kFlagExtra = 0x04;
constexpr uint8_t kFlagName = 0x08;
constexpr uint8_t kFlagComment = 0x10;
constexpr size_t kFixedHead = 10;
constexpr size_t kFirstHeadRead = 1024;  // a header with some 500 chunks
// The extra field is at most 64 KiB; names beyond that much more are not worth reading.
constexpr size_t kHeadReadMax = 192 * 1024;
// A stream without a chunk table is read in pieces this large.
constexpr uint64_t kStreamPiece = 64 * 1024;

using Layout = DictzipFile::Layout;

enum class HeadStatus { ok, need_more, damaged };

// Finds the "RA" subfield of the extra field and turns its chunk sizes into file offsets.
bool read_chunk_table(ByteReader extra, Layout& layout) {
  while (extra.remaining() > 0) {
    const std::string_view id = extra.text(2);
    ByteReader field = extra.take(extra.u16le());
    if (extra.failed()) return false;
    if (id != "RA") continue;
    const uint16_t version = field.u16le();
    const uint32_t chunk_length = field.u16le();
    const size_t count = field.u16le();
    if (field.failed() || version != 1 || chunk_length == 0 || count * 2 > field.remaining()) return false;
    layout.chunk_length = chunk_length;
    layout.chunk_starts.assign(1, 0);
    for (size_t i = 0; i < count; ++i) layout.chunk_starts.push_back(layout.chunk_starts.back() + field.u16le());
    return true;
  }
  return true;
}

// Moves past a NUL-terminated header string; the reader fails when its end is not within it.
void skip_string(ByteReader& head) {
  const std::string_view rest = head.from(head.pos()).chars();
  const size_t nul = rest.find('\0');
  head.skip(nul == std::string_view::npos ? rest.size() + 1 : nul + 1);
}

HeadStatus parse_head(ByteReader head, bool whole_file, Layout& layout) {
  const HeadStatus cut = whole_file ? HeadStatus::damaged : HeadStatus::need_more;
  if (!head.has(0, kFixedHead)) return cut;
  if (!head.matches_at(0, "\x1f\x8b\x08")) return HeadStatus::damaged;
  head.skip(3);
  const uint8_t flags = head.u8();
  head.skip(kFixedHead - 4);  // time, extra flags, system
  if (flags & kFlagExtra) {
    const ByteReader extra = head.take(head.u16le());
    if (head.failed()) return cut;
    if (!read_chunk_table(extra, layout)) return HeadStatus::damaged;
  }
  if (flags & kFlagName) skip_string(head);
  if (flags & kFlagComment) skip_string(head);
  if (flags & kFlagHeaderCrc) head.skip(2);
  if (head.failed()) return cut;
  layout.data_start = head.pos();
  for (uint64_t& start : layout.chunk_starts) start += layout.data_start;
  return HeadStatus::ok;
}

std::optional<Layout> read_layout(const DictFile& file) {
  for (size_t want = kFirstHeadRead;; want *= 4) {
    const uint64_t len = std::min<uint64_t>(file.size(), want);
    const auto head = file.read_at(0, len);
    if (!head) return std::nullopt;
    const bool whole = len == file.size() || want >= kHeadReadMax;
    Layout layout;
    switch (parse_head(ByteReader(*head), whole, layout)) {
      case HeadStatus::ok:
        if (!layout.chunk_starts.empty() && layout.chunk_starts.back() > file.size()) return std::nullopt;
        return layout;
      case HeadStatus::damaged:
        return std::nullopt;
      case HeadStatus::need_more:
        break;
    }
  }
}

// The file's bytes from `begin` to `end`, handed to the inflater `piece` bytes at a time.
InflateSource file_source(const DictFile& file, uint64_t begin, uint64_t end, uint64_t piece) {
  return [&file, at = begin, end, piece](std::span<uint8_t> buf) mutable {
    const uint64_t n = std::min<uint64_t>({buf.size(), piece, end - std::min(at, end)});
    const auto bytes = n ? file.read_at(at, n) : std::nullopt;
    if (!bytes) return size_t{0};
    std::copy(bytes->begin(), bytes->end(), buf.begin());
    at += n;
    return static_cast<size_t>(n);
  };
}

// The chunks inflated last, newest first: a lookup near one before (the same part of the alphabet,
// the hyphen parts and base forms of one word) inflates nothing again, and a dictionary of a few
// chunks, as dictzip packs one of some hundreds of kilobytes, is soon held whole. A chunk is
// taken from here while its file's stamp is unchanged. A file changed within the clock's tick
// before could be rewritten again without its stamp showing it, so until its last change lies
// further back its chunks are checked against the compressed bytes they came from. Only the core
// thread looks words up.
struct KeptChunk {
  std::string path;
  DictFile::Stamp stamp;
  uint64_t number;
  std::string packed;  // emptied once the file's stamp tells every change
  std::string plain;
};
// At most 1 MiB of text, a chunk holding at most 64 KiB.
constexpr size_t kChunksKept = 16;

std::vector<KeptChunk>& kept_chunks() {
  static std::vector<KeptChunk> kept;
  return kept;
}

struct DecompressorFree {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// A whole chunk inflated into `plain` (sized to the chunk length, cut to what it held). A chunk
// ends in a flush at a byte boundary rather than in a last block, so a last empty block is put
// after it first. False when the chunk is not whole deflate data within the chunk length.
bool inflate_chunk(std::string packed, std::string& plain) {
  static const std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor(
      libdeflate_alloc_decompressor());
  if (!decompressor) return false;
  packed.append("\x03\x00", 2);  // a final block with fixed codes holding only its end code
  size_t used = 0, produced = 0;
  const libdeflate_result r = libdeflate_deflate_decompress_ex(decompressor.get(), packed.data(), packed.size(),
                                                               plain.data(), plain.size(), &used, &produced);
  if (r != LIBDEFLATE_SUCCESS) return false;
  plain.resize(produced);
  return true;
}
}  // namespace

// Bytes [from, to) of chunk `number` appended to `out`: from a kept chunk, else the chunk inflated
// whole and kept. A chunk that does not inflate whole (damaged past the slice) is inflated only as
// far as the slice, as it always was, and not kept.
bool DictzipFile::append_chunk_slice(uint64_t number, uint64_t from, uint64_t to, std::string& out) const {
  auto& kept = kept_chunks();
  std::erase_if(kept, [&](const KeptChunk& k) { return k.path == path_ && k.stamp != file_.stamp(); });
  auto hit = std::find_if(kept.begin(), kept.end(), [&](const KeptChunk& k) {
    return k.number == number && k.path == path_ && k.plain.size() >= to;
  });
  std::optional<std::string> packed;
  // Taken before the read, so that a change after it shows in the stamp.
  bool trusted = false;
  if (hit == kept.end() || !hit->packed.empty()) {
    trusted = file_.stamp().settled();
    const uint64_t begin = layout_.chunk_starts[number];
    packed = file_.read_at(begin, layout_.chunk_starts[number + 1] - begin);
    if (!packed) return false;
    if (hit != kept.end() && hit->packed != *packed) {
      kept.erase(hit);
      hit = kept.end();
    }
  }
  if (hit == kept.end()) {
    std::string plain(layout_.chunk_length, '\0');
    if (!inflate_chunk(*packed, plain)) {
      const std::span<const uint8_t> in(reinterpret_cast<const uint8_t*>(packed->data()), packed->size());
      const InflateResult r = inflate_raw(in, {reinterpret_cast<uint8_t*>(plain.data()), static_cast<size_t>(to)});
      if (r.status == InflateStatus::damaged || r.produced < to) return false;
      out.append(plain, static_cast<size_t>(from), static_cast<size_t>(to - from));
      return true;
    }
    if (plain.size() < to) return false;
    if (kept.size() >= kChunksKept) kept.pop_back();
    kept.insert(kept.begin(), {path_, file_.stamp(), number, std::move(*packed), std::move(plain)});
    hit = kept.begin();
  } else if (hit != kept.begin()) {
    std::rotate(kept.begin(), hit, hit + 1);
    hit = kept.begin();
  }
  if (trusted) hit->packed = std::string();
  out.append(hit->plain, static_cast<size_t>(from), static_cast<size_t>(to - from));
  return true;
}

// The slice through the chunk table: only the chunks that hold it are read and inflated.
std::optional<std::string> DictzipFile::read_chunked(uint64_t offset, uint32_t size) const {
  const uint64_t chunk_length = layout_.chunk_length;
  const uint64_t chunks = layout_.chunk_starts.size() - 1;
  const uint64_t first = offset / chunk_length;
  const uint64_t last = (offset + size - 1) / chunk_length;
  if (last >= chunks) return std::nullopt;
  std::string out;
  out.reserve(size);
  for (uint64_t i = first; i <= last; ++i) {
    const uint64_t chunk_begin = i * chunk_length;
    const uint64_t from = std::max(offset, chunk_begin) - chunk_begin;
    const uint64_t to = std::min(offset + size, chunk_begin + chunk_length) - chunk_begin;
    if (!append_chunk_slice(i, from, to, out)) return std::nullopt;
  }
  return out;
}

// Without a chunk table the stream is inflated from its start, the bytes before the slice thrown
// away as they come.
std::optional<std::string> DictzipFile::read_whole_stream(uint64_t offset, uint32_t size) const {
  if (offset > kDictWholeStreamMax - size) return std::nullopt;
  std::string out(size, '\0');
  const InflateResult r = inflate_raw_after(file_source(file_, layout_.data_start, file_.size(), kStreamPiece),
                                            offset, {reinterpret_cast<uint8_t*>(out.data()), out.size()});
  if (r.status == InflateStatus::damaged || r.produced != size) return std::nullopt;
  return out;
}

std::optional<DictzipFile> DictzipFile::open(const char* path) {
  auto file = DictFile::open(path);
  if (!file) return std::nullopt;
  auto layout = read_layout(*file);
  if (!layout) return std::nullopt;
  return DictzipFile(path, std::move(*file), std::move(*layout));
}

std::optional<std::string> DictzipFile::read(uint64_t offset, uint32_t size) const {
  if (size > kDictSliceMax || offset > UINT64_MAX - size) return std::nullopt;
  if (size == 0) return std::string();
  if (layout_.chunk_length == 0) return read_whole_stream(offset, size);
  return read_chunked(offset, size);
}
