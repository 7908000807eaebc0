#include "book/zip_reader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <zlib.h>

#include "base/byte_reader.h"
#include "base/paths.h"
#include "base/ql_error.h"
#include "book/inflate.h"

namespace {
constexpr uint32_t kLocalSig = 0x04034b50;
constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kZip64EndSig = 0x06064b50;
constexpr uint32_t kZip64LocatorSig = 0x07064b50;
constexpr uint64_t kLocalFixed = 30;
constexpr uint64_t kCentralFixed = 46;
constexpr uint64_t kEndFixed = 22;
constexpr uint64_t kZip64EndFixed = 56;
constexpr uint64_t kZip64LocatorSize = 20;
constexpr uint64_t kMaxComment = 65535;
constexpr uint16_t kZip64ExtraId = 0x0001;
// A value too large for its field, written as all ones: the ZIP64 record or extra field holds it.
constexpr uint16_t kDeferred16 = 0xFFFF;
constexpr uint32_t kDeferred32 = 0xFFFFFFFF;
// The high byte of "version made by": systems whose archivers keep Unix modes in the external
// attributes' high half.
constexpr uint8_t kMadeOnUnix = 3;
constexpr uint8_t kMadeOnMac = 19;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr uint64_t kZipMaxAnySize = INT64_MAX;  // what a file's size can be

// Deflate cannot expand more than about 1032 to 1.
constexpr uint64_t kDeflateMaxRatio = 1032;

// What a central entry says about its member, checked against the file.
struct Member {
  uint16_t flags;
  uint16_t method;
  uint64_t compressed;
  uint64_t uncompressed;
  uint64_t data_offset;
};

// Where the member's data begins, after its local header; nothing when that lies outside the file.
std::optional<uint64_t> data_offset(const ZipArchive& z, uint64_t local, uint64_t compressed) {
  uint8_t head[kLocalFixed];
  const ByteReader h(head, kLocalFixed);
  if (local > z.size() || kLocalFixed > z.size() - local) return std::nullopt;
  if (!z.read_at(local, head, kLocalFixed) || h.u32le_at(0) != kLocalSig) return std::nullopt;
  uint64_t data = local + kLocalFixed + h.u16le_at(26) + h.u16le_at(28);
  if (data > z.size() || compressed > z.size() - data) return std::nullopt;
  return data;
}

// Whether a member's stated sizes can both be true: stored bytes are as many as stated, and deflate
// cannot make more than its ratio allows of the compressed bytes. Other methods are not judged.
bool sizes_agree(uint16_t method, uint64_t compressed, uint64_t uncompressed) {
  if (method == kStored) return compressed == uncompressed;
  if (method == kDeflated) return uncompressed / kDeflateMaxRatio <= compressed;
  return true;
}

// Puts the values a central entry defers into `m` from its ZIP64 extra field, which holds those
// it defers, in this order. An entry without that field keeps them as written (an older archive's
// member of exactly 4 GiB - 1 bytes); false when the field lacks one.
bool read_zip64_extra(ByteReader extra, ZipMember& m) {
  while (extra.remaining() >= 4) {
    const uint16_t id = extra.u16le();
    ByteReader field = extra.take(extra.u16le());
    if (extra.failed()) return true;
    if (id != kZip64ExtraId) continue;
    for (uint64_t* value : {&m.uncompressed, &m.compressed, &m.local_offset}) {
      if (*value == kDeferred32) *value = field.u64le();
    }
    return !field.failed();
  }
  return true;
}

// The central entry at the cursor, which moves past it; nothing when it is damaged or runs past
// the directory.
std::optional<ZipMember> next_entry(ByteReader& d) {
  const ByteReader e = d.take(kCentralFixed);
  if (d.failed() || e.u32le_at(0) != kCentralSig) return std::nullopt;
  const std::string_view name = d.text(e.u16le_at(28));
  const ByteReader extra = d.take(e.u16le_at(30));
  d.skip(e.u16le_at(32));  // the comment
  if (d.failed()) return std::nullopt;
  const uint8_t made_on = e.u8_at(5);
  const uint32_t unix_mode = e.u32le_at(38) >> 16;  // the external attributes' high half
  const bool is_link =
      (made_on == kMadeOnUnix || made_on == kMadeOnMac) && (unix_mode & S_IFMT) == S_IFLNK;
  ZipMember m{name, e.u16le_at(8), e.u16le_at(10), e.u32le_at(16), e.u32le_at(20), e.u32le_at(24),
              e.u32le_at(42), is_link};
  if (!read_zip64_extra(extra, m)) return std::nullopt;
  return m;
}

// The entry at `off` in the kept directory.
std::optional<ZipMember> entry_at(const ZipArchive& z, size_t off) {
  ByteReader d(z.directory().data(), z.directory().size());
  d.seek(off);
  return next_entry(d);
}

std::optional<Member> locate(const ZipArchive& z, std::string_view name) {
  auto at = z.find(name);
  if (!at) return std::nullopt;
  const std::optional<ZipMember> e = entry_at(z, *at);
  if (!e || (e->flags & 1)) return std::nullopt;  // encrypted
  auto data = data_offset(z, e->local_offset, e->compressed);
  if (!data) return std::nullopt;
  return Member{e->flags, e->method, e->compressed, e->uncompressed, *data};
}

// The walk every directory reader shares: each entry and its offset in the directory, in order,
// up to the first one that is damaged or runs past the directory.
template <class Visit>
void walk_directory(const std::vector<uint8_t>& directory, uint32_t entries, Visit&& visit) {
  ByteReader d(directory.data(), directory.size());
  for (uint32_t i = 0; i < entries; i++) {
    const size_t off = d.pos();
    const std::optional<ZipMember> m = next_entry(d);
    if (!m) break;
    visit(*m, off);
  }
}

// Where the central directory lies and how far it may reach, as the end records state it.
struct DirectoryEnd {
  uint64_t offset;
  uint64_t size;
  uint64_t entries;
  uint64_t limit;  // where the records after the directory begin
  bool one_disk;
};

// The directory as the end record `r` at `end_pos` states it, or, when that record defers a value
// and the ZIP64 locator lies just before it, as the ZIP64 end record states it. Nothing when that
// record is damaged: not where the locator points, or naming a directory past itself.
std::optional<DirectoryEnd> directory_end(const ZipArchive& z, const ByteReader& r,
                                         uint64_t end_pos) {
  const DirectoryEnd plain{r.u32le_at(16), r.u32le_at(12), r.u16le_at(10), end_pos,
                           r.u16le_at(4) == 0 && r.u16le_at(6) == 0};
  bool defers = r.u32le_at(12) == kDeferred32 || r.u32le_at(16) == kDeferred32;
  for (size_t at = 4; at <= 10; at += 2) defers = defers || r.u16le_at(at) == kDeferred16;
  if (!defers || end_pos < kZip64LocatorSize) return plain;
  const uint64_t locator_pos = end_pos - kZip64LocatorSize;
  uint8_t locator_bytes[kZip64LocatorSize];
  const ByteReader locator(locator_bytes, kZip64LocatorSize);
  // Without the locator the values stand as written: exactly 65,535 entries need no ZIP64.
  if (!z.read_at(locator_pos, locator_bytes, kZip64LocatorSize) ||
      locator.u32le_at(0) != kZip64LocatorSig) {
    return plain;
  }
  uint8_t record_bytes[kZip64EndFixed];
  const ByteReader record(record_bytes, kZip64EndFixed);
  const uint64_t at = locator.u64le_at(8);
  if (at > locator_pos || kZip64EndFixed > locator_pos - at ||
      !z.read_at(at, record_bytes, kZip64EndFixed) || record.u32le_at(0) != kZip64EndSig ||
      record.u64le_at(48) > at) {
    return std::nullopt;
  }
  return DirectoryEnd{record.u64le_at(48), record.u64le_at(40), record.u64le_at(32), at,
                      locator.u32le_at(4) == 0 && locator.u32le_at(16) <= 1 &&
                          record.u32le_at(16) == 0 && record.u32le_at(20) == 0};
}

// Compressed bytes of a member, pulled from the file in chunks.
InflateSource member_source(const ZipArchive& z, const Member& m) {
  return [&z, off = m.data_offset, left = m.compressed](std::span<uint8_t> buf) mutable {
    size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), left));
    if (n == 0 || !z.read_at(off, buf.data(), n)) return size_t{0};
    off += n;
    left -= n;
    return n;
  };
}

bool open_failed(const char* text) {
  ql_fail("%s", text);
  return false;
}
}  // namespace

ZipArchive::~ZipArchive() { release(); }

ZipArchive::ZipArchive(ZipArchive&& other) noexcept { *this = std::move(other); }

ZipArchive& ZipArchive::operator=(ZipArchive&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::exchange(other.fd_, -1);
    heap_ = std::move(other.heap_);
    size_ = std::exchange(other.size_, 0);
    cd_offset_ = std::exchange(other.cd_offset_, 0);
    entries_ = std::exchange(other.entries_, 0);
    directory_ = std::move(other.directory_);
    index_ = std::move(other.index_);
    other.heap_.clear();
    other.directory_.clear();
    other.index_.clear();
  }
  return *this;
}

void ZipArchive::release() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  heap_ = {};
  size_ = cd_offset_ = 0;
  entries_ = 0;
  index_.clear();
  directory_ = {};
}

bool ZipArchive::read_at(uint64_t off, void* dst, uint64_t len) const {
  if (off > size_ || len > size_ - off) return false;
  if (fd_ < 0) {
    if (len) memcpy(dst, heap_.data() + off, len);
    return true;
  }
  auto* out = static_cast<uint8_t*>(dst);
  while (len > 0) {
    ssize_t n = pread(fd_, out, static_cast<size_t>(std::min<uint64_t>(len, 1 << 30)),
                      static_cast<off_t>(off));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // the file shrank or cannot be read
    out += n;
    off += static_cast<uint64_t>(n);
    len -= static_cast<uint64_t>(n);
  }
  return true;
}

std::optional<size_t> ZipArchive::find(std::string_view name) const {
  auto it = index_.find(name);
  if (it == index_.end()) return std::nullopt;
  return it->second;
}

// Opens the file into the archive and takes its size; false (nothing set) when it cannot be
// opened or its size lies outside [kZipMinSize, max].
bool ZipArchive::open_file(const char* path, uint64_t max, const char* too_large) {
  int fd = qlp_open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return open_failed("Cannot open book");
  fd_ = fd;
  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(kZipMinSize) ||
      static_cast<uint64_t>(st.st_size) > max) {
    release();
    return open_failed(too_large);
  }
  size_ = static_cast<uint64_t>(st.st_size);
  return true;
}

// The last bytes of the file, where the end record and its comment lie.
std::optional<std::vector<uint8_t>> ZipArchive::read_tail() const {
  const uint64_t span = std::min(size_, kEndFixed + kMaxComment);
  std::vector<uint8_t> tail(span);
  if (!read_at(size_ - span, tail.data(), span)) return std::nullopt;
  return tail;
}

// Keeps the directory of dir_size bytes at cd in memory and indexes it. The walk stops at the
// first entry that is damaged or runs past the directory, as a lookup walking it would.
bool ZipArchive::load_directory(uint64_t cd, uint64_t dir_size, uint64_t entries) {
  cd_offset_ = cd;
  // More entries than 32 bits count cannot fit in a directory held in memory: the walk ends first.
  entries_ = static_cast<uint32_t>(std::min<uint64_t>(entries, UINT32_MAX));
  directory_.resize(dir_size);
  if (!read_at(cd, directory_.data(), dir_size)) return false;
  walk_directory(directory_, entries_, [this](const ZipMember& m, size_t off) {
    if (zip_member_path_is_safe(m.name)) index_.emplace(m.name, off);  // the first one wins
  });
  return true;
}

// The end record is the first one, searching backwards, whose comment runs exactly to the end of
// the file. False (released, ql_error() set) when there is none or its directory cannot be read.
bool ZipArchive::load_exact_end() {
  const std::optional<std::vector<uint8_t>> tail = read_tail();
  if (!tail) {
    release();
    return open_failed("Cannot read book");
  }
  const uint64_t span = tail->size();
  const ByteReader tail_bytes(tail->data(), span);
  for (uint64_t k = kEndFixed; k <= span; k++) {
    const ByteReader r = tail_bytes.from(span - k);
    if (r.u32le_at(0) != kEndSig || r.u16le_at(20) != k - kEndFixed) continue;
    const std::optional<DirectoryEnd> d = directory_end(*this, r, size_ - k);
    if (!d) {
      release();
      return open_failed("Damaged ZIP64 end record");
    }
    if (!d->one_disk || d->offset > d->limit) break;
    const uint64_t dir_size = std::min(d->limit - d->offset, kZipMaxDirectorySize);
    if (!load_directory(d->offset, dir_size, d->entries)) {
      release();
      return open_failed("Cannot read book");
    }
    return true;
  }
  release();
  return open_failed("Unsupported ZIP directory / ZIP64");
}

bool zipopen_mode(ZipArchive& z, const char* path, int map) {
  zipclose(z);
  if (!z.open_file(path, map ? kZipMaxFileSize : kZipMaxHeapSize,
                   map ? "File too large or too small" : "ZIP size invalid or over 128 MiB")) {
    return false;
  }
  if (!map) {
    z.heap_.resize(z.size_);
    bool read = z.read_at(0, z.heap_.data(), z.size_);
    close(std::exchange(z.fd_, -1));
    if (!read) {
      zipclose(z);
      return open_failed("Cannot read book");
    }
  }
  return z.load_exact_end();
}

bool zipopen_any_size(ZipArchive& z, const char* path) {
  zipclose(z);
  return z.open_file(path, kZipMaxAnySize, "File too large or too small") && z.load_exact_end();
}

bool zipopen_comic(ZipArchive& z, const char* path) {
  zipclose(z);
  // Members are read from the file on demand, so the file's size costs no memory; the 32-bit
  // offsets of the directory are the only bound.
  if (!z.open_file(path, kZipMaxComicSize, "File too large or too small")) return false;
  const std::optional<std::vector<uint8_t>> tail = z.read_tail();
  if (!tail) {
    zipclose(z);
    return open_failed("Cannot read book");
  }
  // Comic archives often carry bytes after the end record (a tool's trailer, a download padded to
  // a block), so the first signature from the end whose directory lies inside the file is taken,
  // whatever its comment length says.
  const uint64_t span = tail->size();
  const ByteReader tail_bytes(tail->data(), span);
  for (uint64_t k = kEndFixed; k <= span; k++) {
    const ByteReader r = tail_bytes.from(span - k);
    if (r.u32le_at(0) != kEndSig) continue;
    const std::optional<DirectoryEnd> d = directory_end(z, r, z.size_ - k);
    if (!d || d->size > kZipMaxComicDirectory || d->offset > d->limit ||
        d->size > d->limit - d->offset) {
      continue;
    }
    if (!z.load_directory(d->offset, d->size, d->entries)) {
      zipclose(z);
      return open_failed("Cannot read book");
    }
    return true;
  }
  zipclose(z);
  return open_failed("Unsupported ZIP directory / ZIP64");
}

void zipclose(ZipArchive& z) { z.release(); }

std::vector<ZipEntryInfo> ZipArchive::list() const {
  std::vector<ZipEntryInfo> out;
  out.reserve(index_.size());
  for (const auto& [name, at] : index_) {
    if (const std::optional<ZipMember> m = entry_at(*this, at)) {
      out.push_back({name, m->flags, m->method, m->compressed, m->uncompressed});
    }
  }
  return out;
}

std::optional<std::string> zipextract(const ZipArchive& z, std::string_view name, uint64_t max_size) {
  auto m = locate(z, name);
  // Sizes that cannot be true are refused before a crafted directory can make the reader allocate
  // and inflate 16 MiB per entry.
  if (!m || m->uncompressed > max_size || !sizes_agree(m->method, m->compressed, m->uncompressed))
    return std::nullopt;
  std::string out(m->uncompressed, '\0');
  auto* dst = reinterpret_cast<uint8_t*>(out.data());
  if (m->method == kStored) {
    if (!z.read_at(m->data_offset, dst, m->uncompressed)) return std::nullopt;
    return out;
  }
  if (m->method != kDeflated) return std::nullopt;
  InflateResult r = inflate_raw(member_source(z, *m), std::span<uint8_t>(dst, out.size()));
  bool whole = r.status == InflateStatus::done || r.status == InflateStatus::full;
  if (!whole || r.produced != out.size()) return std::nullopt;
  return out;
}

std::optional<std::string> zip_read_prefix(const ZipArchive& z, std::string_view name,
                                           size_t max) {
  auto m = locate(z, name);
  if (!m) return std::nullopt;
  if (m->method == 0) {
    std::string out(static_cast<size_t>(std::min({uint64_t{max}, m->compressed, m->uncompressed})),
                    '\0');
    if (!z.read_at(m->data_offset, out.data(), out.size())) return std::nullopt;
    return out;
  }
  if (m->method != 8) return std::nullopt;
  std::string out(max, '\0');
  InflateResult r = inflate_raw(member_source(z, *m),
                                std::span<uint8_t>(reinterpret_cast<uint8_t*>(out.data()), max));
  if (r.status == InflateStatus::damaged) return std::nullopt;
  out.resize(r.produced);
  return out;
}

std::vector<ZipMember> zip_members(const ZipArchive& z) {
  std::vector<ZipMember> out;
  walk_directory(z.directory(), z.entries(), [&z, &out](ZipMember m, size_t) {
    // An encrypted member's compressed bytes carry its encryption header too: only where they lie
    // is judged.
    const bool sizes_lie = !(m.flags & 1) && !sizes_agree(m.method, m.compressed, m.uncompressed);
    m.is_damaged = sizes_lie || !data_offset(z, m.local_offset, m.compressed);
    out.push_back(m);
  });
  return out;
}

ZipStreamStatus zip_stream_member(const ZipArchive& z, const ZipMember& zm,
                                  const std::function<bool(std::span<const uint8_t>)>& sink) {
  if ((zm.flags & 1) || (zm.method != kStored && zm.method != kDeflated)) {
    return ZipStreamStatus::unsupported;
  }
  auto data = data_offset(z, zm.local_offset, zm.compressed);
  if (!data || !sizes_agree(zm.method, zm.compressed, zm.uncompressed)) return ZipStreamStatus::damaged;
  const Member m{zm.flags, zm.method, zm.compressed, zm.uncompressed, *data};
  uLong crc = crc32(0, nullptr, 0);
  uint64_t arrived = 0;
  bool too_long = false;
  // The stated size bounds what is handed on, so a lying header cannot fill the disk.
  auto checked = [&](std::span<const uint8_t> block) {
    if (block.size() > m.uncompressed - arrived) {
      too_long = true;
      return false;
    }
    arrived += block.size();
    crc = crc32_z(crc, block.data(), block.size());
    return sink(block);
  };
  InflateStatus status = InflateStatus::done;
  if (m.method == kStored) {
    std::array<uint8_t, 64 * 1024> block;
    for (uint64_t off = 0; off < m.compressed;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), m.compressed - off));
      if (!z.read_at(m.data_offset + off, block.data(), n)) return ZipStreamStatus::damaged;
      if (!checked(std::span<const uint8_t>(block.data(), n))) {
        return too_long ? ZipStreamStatus::damaged : ZipStreamStatus::refused;
      }
      off += n;
    }
  } else {
    status = inflate_to(member_source(z, m), checked);
  }
  if (too_long) return ZipStreamStatus::damaged;
  if (status == InflateStatus::full) return ZipStreamStatus::refused;
  if (status != InflateStatus::done || arrived != m.uncompressed || crc != zm.crc) {
    return ZipStreamStatus::damaged;
  }
  return ZipStreamStatus::done;
}

bool zip_member_path_is_safe(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string_view::npos) return false;
  if (name.size() >= 2 && name[1] == ':') return false;  // a drive letter
  if (name.find('\0') != std::string_view::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t slash = name.find('/', start);
    size_t end = slash == std::string_view::npos ? name.size() : slash;
    if (name.substr(start, end - start) == "..") return false;
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return true;
}
