// MOBI, AZW, AZW3 and PRC books: the PalmDB record list, the PalmDOC, MOBI and EXTH headers, the
// text records and the pictures, handed on as HTML parts.
#include "book/convert/convert_mobi.h"

#include <algorithm>

#include "base/text_decode.h"

namespace {
constexpr size_t kPalmHeader = 78;
constexpr size_t kMinFile = 86;
constexpr size_t kMinMobiRecord = 120;
constexpr uint32_t kFullNameMax = 279;
constexpr uint32_t kExthAuthorMax = 180;
constexpr uint32_t kMaxPictures = 19999;
constexpr size_t kPartMin = 3000;  // a page break closes a part only after this many bytes
constexpr uint32_t kUtf8 = 65001;
// A text record expands to a few KB; a dictionary that makes one much larger is hostile.
constexpr uint64_t kHuffRecordMax = 1 << 20;

enum ExthType : uint32_t {
  kExthAuthor = 100,
  kExthBoundary = 121,
  kExthCover = 201,
  kExthTitle = 503,
  kExthLanguage = 524
};

std::string decoded(ByteReader v, uint32_t encoding) {
  std::string out;
  to_utf8(out, v.chars(), encoding == kUtf8 ? kUtf8 : kCodePage1252);
  return out;
}

void read_exth(ByteReader r, size_t at, uint32_t encoding, MobiMeta& meta, bool& author_seen) {
  if (!r.matches_at(at, "EXTH")) return;
  const uint32_t count = r.u32be_at(at + 8);
  size_t off = at + 12;
  for (uint32_t k = 0; k < count; k++) {
    const uint32_t type = r.u32be_at(off), len = r.u32be_at(off + 4);
    if (len < 8 || !r.has(off, len)) break;
    ByteReader data = r.sub(off + 8, len - 8);
    switch (type) {
      case kExthAuthor:
        if (!author_seen && data.size() <= kExthAuthorMax) {
          meta.author = cut_text(decoded(data, encoding), kConvAuthorMax);
          author_seen = true;
        }
        break;
      case kExthTitle:
        if (data.size() > 0 && data.size() <= kFullNameMax)
          meta.title = cut_text(decoded(data, encoding), kConvTitleMax);
        break;
      case kExthCover:
        if (data.size() >= 4) meta.cover = data.u32be_at(0);
        break;
      case kExthBoundary:
        if (data.size() >= 4) meta.boundary = data.u32be_at(0);
        break;
      case kExthLanguage:
        if (data.size() > 0 && meta.language.empty())
          meta.language = cut_text(decoded(data, encoding), kConvLanguageMax);
        break;
      default:
        break;
    }
    off += len;
  }
}

// The size of the trailing entry that ends at `end`, read backwards as the format stores it.
size_t trailing_size(ByteReader r, size_t end) {
  size_t value = 0;
  for (size_t k = end >= 4 ? end - 4 : 0; k < end; k++) {
    const uint8_t b = r.u8_at(k);
    value = b & 0x80 ? (b & 0x7Fu) : (value << 7 | (b & 0x7Fu));
  }
  return value;
}

ByteReader without_trailing_entries(ByteReader r, uint32_t flags) {
  size_t end = r.size();
  for (uint32_t bits = flags >> 1; bits != 0; bits >>= 1) {
    if (!(bits & 1)) continue;
    const size_t size = trailing_size(r, end);
    end = size > end ? 0 : end - size;
  }
  if ((flags & 1) && end > 0) {
    const size_t multibyte = (r.u8_at(end - 1) & 3u) + 1;
    end = multibyte > end ? 0 : end - multibyte;
  }
  return r.sub(0, end);
}

bool is_boundary(ByteReader r) { return r.matches_at(0, "BOUNDARY"); }

void read_pictures(const PalmDb& db, uint32_t first, uint32_t cover, ConvBook& book) {
  if (first == kNoRecord) return;
  for (uint32_t k = 0; k < kMaxPictures; k++) {
    if (first + uint64_t{k} >= db.count) break;
    std::optional<ByteReader> r = db.rec(static_cast<uint32_t>(first + k));
    if (!r || is_boundary(*r) || r->matches_at(0, "\xE9\x8E\x0D\x0A")) break;
    int index = book.pic_add(k + 1, std::string(r->chars()));
    if (index >= 0 && cover == k) book.cover = index;
  }
}

void split_at_page_breaks(ConvBook& book, std::string_view raw, uint32_t encoding) {
  std::string text;
  to_utf8(text, raw, encoding == kUtf8 ? kUtf8 : kCodePage1252);
  std::string_view t = text;
  size_t start = 0;
  size_t search = 1;
  while (start < t.size()) {
    size_t mark = find_nocase(t, "<mbp:pagebreak", search);
    if (mark == std::string_view::npos) break;
    if (mark - start < kPartMin) {
      search = mark + 1;
      continue;
    }
    add_part(book, t.substr(start, mark - start), false);
    start = mark;
    search = mark + 1;
  }
  if (start < t.size()) add_part(book, t.substr(start), false);
}

// Every text record decompressed, in order; nothing when the compression table is unreadable.
std::optional<std::string> read_text(const PalmDb& db, const MobiHeader& h, std::string& error) {
  HuffTables huff;
  if (h.compression == kCompressionHuff && !huff.load(db, h.at(h.huff_record), h.huff_count)) {
    error = "This book's compression table could not be read";
    return std::nullopt;
  }
  std::string text;
  for (uint64_t i = 1; i <= h.text_count && text.size() <= kMobiTextMax; i++) {
    std::optional<ByteReader> r = db.rec(h.at(i));
    if (!r) break;
    ByteReader data = without_trailing_entries(*r, h.extra_flags);
    switch (h.compression) {
      case kCompressionPalmDoc: palmdoc_unpack(text, data); break;
      case kCompressionHuff:
        huff.unpack(text, data, std::min<uint64_t>(kHuffRecordMax, kMobiTextMax + 1 - text.size()));
        break;
      default: text.append(data.chars()); break;
    }
  }
  if (text.size() > kMobiTextMax) text.resize(kMobiTextMax);
  return text;
}
}  // namespace

std::optional<ByteReader> PalmDb::rec(uint32_t i) const {
  if (i >= count) return std::nullopt;
  const size_t start = file.u32be_at(kPalmHeader + size_t{i} * 8);
  const size_t end = i + 1 < count ? file.u32be_at(kPalmHeader + size_t{i + 1} * 8) : file.size();
  if (end < start || end > file.size()) return std::nullopt;
  return file.sub(start, end - start);
}

std::optional<PalmDb> palmdb_open(ByteReader file, bool allow_text) {
  if (file.size() < kMinFile) return std::nullopt;
  if (!file.matches_at(60, "BOOKMOBI") && !(allow_text && file.matches_at(60, "TEXtREAd"))) return std::nullopt;
  return PalmDb{file, file.u16be_at(76)};
}

HeadResult mobi_head(const PalmDb& db, uint32_t i, MobiHeader& h, MobiMeta& meta) {
  std::optional<ByteReader> rec = db.rec(i);
  if (!rec || rec->size() < 16) return HeadResult::damaged;
  const ByteReader r = *rec;
  h = MobiHeader{};
  h.record = i;
  h.compression = r.u16be_at(0);
  h.text_count = r.u16be_at(8);
  if (r.u16be_at(12) != 0) return HeadResult::encrypted;
  if (!r.matches_at(16, "MOBI") || r.size() < kMinMobiRecord) return HeadResult::parsed;
  h.has_mobi = true;
  const uint32_t header_length = r.u32be_at(20);
  h.encoding = r.u32be_at(28);
  h.version = r.u32be_at(36);
  h.first_image = r.u32be_at(108);
  h.huff_record = r.u32be_at(112);
  h.huff_count = r.u32be_at(116);
  if (h.version == 8 && r.size() >= 256) h.fdst = r.u32be_at(192);
  if (header_length >= 228 && r.size() >= 244) h.extra_flags = r.u16be_at(242);
  if (h.version == 8 && r.size() >= 256) {
    h.fragment_index = r.u32be_at(248);
    h.skeleton_index = r.u32be_at(252);
  }
  const uint32_t name_off = r.u32be_at(84), name_len = r.u32be_at(88);
  if (name_len <= kFullNameMax && r.has(name_off, name_len)) {
    meta.title = cut_text(decoded(r.sub(name_off, name_len), h.encoding), kConvTitleMax);
  }
  if (r.u32be_at(128) & 0x40) {
    bool author_seen = false;
    MobiMeta exth;
    read_exth(r, 16 + size_t{header_length}, h.encoding, exth, author_seen);
    if (!exth.title.empty()) meta.title = exth.title;
    if (author_seen) meta.author = exth.author;
    if (!exth.language.empty()) meta.language = exth.language;
    meta.cover = exth.cover;
    meta.boundary = exth.boundary;
  }
  return HeadResult::parsed;
}

std::optional<std::string> mobi_read(std::string_view file, std::string_view path, ConvBook& book) {
  const ByteReader bytes(file);
  std::optional<PalmDb> opened = palmdb_open(bytes, true);
  if (!opened) return std::string("This is not a Kindle book file");
  const PalmDb& db = *opened;
  if (db.count == 0 || (bytes.size() - kPalmHeader) / 8 < db.count) return std::string(kDamagedBook);

  MobiHeader h;
  MobiMeta meta;
  switch (mobi_head(db, 0, h, meta)) {
    case HeadResult::damaged: return std::string(kDamagedBook);
    case HeadResult::encrypted: return std::string(kDrmMessage);
    case HeadResult::parsed: break;
  }
  // Pictures of a joint file sit in its old half, before the boundary record; the KF8 half
  // reuses them, so they are read through the first header's numbering.
  const uint32_t first_image = h.has_mobi && h.first_image != kNoRecord ? h.first_image : kNoRecord;
  const uint32_t b = meta.boundary;
  if (h.version != 8 && b != kNoRecord && b < db.count && b > 0) {
    std::optional<ByteReader> mark = db.rec(b - 1);
    MobiHeader kf8;
    MobiMeta kf8_meta = meta;
    kf8_meta.cover = kNoRecord;
    if (mark && mark->size() >= 8 && is_boundary(*mark) && mobi_head(db, b, kf8, kf8_meta) == HeadResult::parsed &&
        kf8.version == 8) {
      if (kf8_meta.cover != kNoRecord) meta.cover = kf8_meta.cover;
      if (!kf8_meta.title.empty()) meta.title = kf8_meta.title;
      if (!kf8_meta.language.empty()) meta.language = kf8_meta.language;
      h = kf8;
    }
  }
  if (h.compression != kCompressionNone && h.compression != kCompressionPalmDoc && h.compression != kCompressionHuff) {
    return std::string("This book uses a compression Corvell Nalo does not know");
  }
  std::string error;
  std::optional<std::string> text = read_text(db, h, error);
  if (!text) return error;
  read_pictures(db, first_image, meta.cover, book);

  bool assembled = false;
  if (h.version == 8 && h.skeleton_index != kNoRecord && h.fragment_index != kNoRecord) {
    for (const std::string& part : kf8_parts(db, h, *text)) {
      add_part(book, part, true);
      assembled = true;
    }
  }
  if (!assembled) split_at_page_breaks(book, *text, h.encoding);

  book.title = meta.title.empty() ? stem_of(path) : meta.title;
  book.author = meta.author;
  book.language = meta.language;
  if (book.chapters.empty()) return std::string("This book has no text Corvell Nalo can read");
  return std::nullopt;
}
