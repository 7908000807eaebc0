// MP4/M4B chapters: a Nero "chpl" list in the user data, or a QuickTime chapter track (a text
// track whose samples are the titles). A later "chpl" replaces the table; a text track only
// fills a table that is still empty.
#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "audio/audio_chapters.h"
#include "base/byte_reader.h"

namespace {
constexpr int kMaxDepth = 12;
constexpr uint64_t kMaxTablePayload = 64ull << 20;
constexpr uint64_t kMaxSamples = 8000000;
constexpr size_t kMaxTextChapters = 512;
constexpr size_t kTextTitleMax = 799;

struct Track {
  std::vector<uint8_t> stts, stsc, stsz, stco;
  bool co64 = false;
  uint32_t timescale = 0;
  bool is_text = false;
};

struct Sample {
  uint64_t offset;
  uint32_t size;
};

class Walker {
 public:
  Walker(FILE* f, ChapterTable& out) : mf_(f), out_(out) {}
  void walk(uint64_t start, uint64_t end, int depth);

 private:
  bool read_at(uint64_t at, void* buf, size_t n) {
    return fseeko(mf_, static_cast<off_t>(at), SEEK_SET) == 0 && fread(buf, 1, n, mf_) == n;
  }
  bool load(uint64_t at, uint64_t size, std::vector<uint8_t>& into);
  void on_box(std::string_view type, uint64_t at, uint64_t size, int depth);
  void read_chpl(const std::vector<uint8_t>& p);
  std::vector<Sample> expand(const Track& t);
  void text_chapters(const Track& t);

  FILE* mf_;
  ChapterTable& out_;
  Track* track_ = nullptr;
};

bool Walker::load(uint64_t at, uint64_t size, std::vector<uint8_t>& into) {
  if (size < 8 || size > kMaxTablePayload) return false;
  try {
    into.resize(size);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!read_at(at, into.data(), size)) {
    into.clear();
    return false;
  }
  return true;
}

void Walker::walk(uint64_t start, uint64_t end, int depth) {
  if (depth > kMaxDepth) return;
  uint64_t at = start;
  while (end - at >= 8) {
    uint8_t raw[16];
    const ByteReader h(raw, sizeof raw);
    if (!read_at(at, raw, 8)) return;
    uint64_t size = h.u32be_at(0);
    uint64_t header = 8;
    if (size == 1) {  // a 64-bit size follows the type
      if (end - at < 16 || !read_at(at + 8, raw + 8, 8)) return;
      size = h.u64be_at(8);
      header = 16;
    } else if (size == 0) {
      size = end - at;
    }
    if (size < header || size > end - at) return;
    on_box(h.sub(4, 4).chars(), at + header, size - header, depth);
    at += size;
  }
}

void Walker::on_box(std::string_view type, uint64_t at, uint64_t size, int depth) {
  auto is = [&](std::string_view t) { return type == t; };
  if (is("moov") || is("mdia") || is("minf") || is("stbl") || is("udta")) {
    walk(at, at + size, depth + 1);
  } else if (is("trak")) {
    Track track;
    Track* outer = track_;
    track_ = &track;
    walk(at, at + size, depth + 1);
    track_ = outer;
    if (track.is_text && !track.stts.empty() && !track.stsc.empty() && !track.stsz.empty() &&
        !track.stco.empty())
      text_chapters(track);
  } else if (is("chpl")) {
    std::vector<uint8_t> p;
    if (size >= 10 && load(at, size, p)) read_chpl(p);
  } else if (track_ && is("mdhd") && size >= 24) {
    uint8_t raw[32];
    const ByteReader p(raw, size >= 32 ? 32 : 24);
    if (!read_at(at, raw, p.size())) return;
    if (p.u8_at(0) == 1) {  // version 1: 64-bit times before the timescale
      if (size >= 32) track_->timescale = p.u32be_at(20);
    } else {
      track_->timescale = p.u32be_at(12);
    }
  } else if (track_ && is("stsd") && size >= 16) {
    uint8_t raw[16];
    const ByteReader p(raw, sizeof raw);
    if (read_at(at, raw, sizeof raw) && (p.matches_at(12, "text") || p.matches_at(12, "tx3g")))
      track_->is_text = true;
  } else if (track_ && track_->is_text) {
    if (is("stts") && track_->stts.empty()) load(at, size, track_->stts);
    if (is("stsc") && track_->stsc.empty()) load(at, size, track_->stsc);
    if (is("stsz") && track_->stsz.empty()) load(at, size, track_->stsz);
    if ((is("stco") || is("co64")) && track_->stco.empty() && load(at, size, track_->stco))
      track_->co64 = is("co64");
  }
}

void Walker::read_chpl(const std::vector<uint8_t>& p) {
  ByteReader r(p.data(), p.size());
  r.skip(8);  // version, flags and four reserved bytes
  const int count = r.u8();
  if (count == 0) return;
  out_.clear();
  for (int i = 0; i < count; i++) {
    const double start = static_cast<double>(r.u64be()) / 10000000.0;  // 100 ns units
    const std::string_view title = r.text(r.u8());
    if (r.failed()) return;
    out_.add(start, std::string(title));
  }
}

std::vector<Sample> Walker::expand(const Track& t) {
  std::vector<Sample> list;
  if (t.stsz.size() < 12 || t.stco.size() < 8 || t.stsc.size() < 8) return list;
  const ByteReader stsz(t.stsz.data(), t.stsz.size());
  const ByteReader stco(t.stco.data(), t.stco.size());
  const ByteReader stsc(t.stsc.data(), t.stsc.size());
  uint32_t fixed = stsz.u32be_at(4);
  uint64_t count = stsz.u32be_at(8);
  if (count > kMaxSamples) return list;
  if (fixed == 0 && count > (t.stsz.size() - 12) / 4) return list;
  uint64_t chunks = stco.u32be_at(4);
  size_t width = t.co64 ? 8 : 4;
  if (chunks > (t.stco.size() - 8) / width) return list;
  uint64_t entries = stsc.u32be_at(4);
  if (entries == 0 || entries > (t.stsc.size() - 8) / 12) return list;
  list.reserve(count);
  size_t entry = 0;
  for (uint64_t c = 0; c < chunks && list.size() < count; c++) {
    while (entry + 1 < entries && stsc.u32be_at(8 + (entry + 1) * 12) <= c + 1) entry++;
    uint32_t per_chunk = stsc.u32be_at(8 + entry * 12 + 4);
    const size_t o = 8 + c * width;
    uint64_t offset = t.co64 ? stco.u64be_at(o) : stco.u32be_at(o);
    for (uint32_t s = 0; s < per_chunk && list.size() < count; s++) {
      uint32_t size = fixed ? fixed : stsz.u32be_at(12 + list.size() * 4);
      list.push_back({offset, size});
      offset += size;
    }
  }
  return list;
}

void Walker::text_chapters(const Track& t) {
  if (out_.size() != 0 || t.timescale == 0 || t.stts.size() < 8) return;
  std::vector<Sample> samples = expand(t);
  if (samples.size() > kMaxTextChapters) samples.resize(kMaxTextChapters);
  const ByteReader stts(t.stts.data(), t.stts.size());
  uint64_t stts_entries = std::min<uint64_t>(stts.u32be_at(4), (t.stts.size() - 8) / 8);
  uint64_t entry = 0, used_in_entry = 0, ticks = 0;
  for (const Sample& s : samples) {
    double start = static_cast<double>(ticks) / t.timescale;
    // Advance the clock past this sample before anything can skip it.
    while (entry < stts_entries && used_in_entry >= stts.u32be_at(8 + entry * 8)) {
      entry++;
      used_in_entry = 0;
    }
    if (entry < stts_entries) {
      ticks += stts.u32be_at(8 + entry * 8 + 4);
      used_in_entry++;
    }
    uint8_t buf[256];
    size_t want = std::min<size_t>(s.size, sizeof buf);
    if (fseeko(mf_, static_cast<off_t>(s.offset), SEEK_SET) != 0) continue;
    size_t got = fread(buf, 1, want, mf_);
    if (got < 2) continue;
    ByteReader sample(buf, got);
    const size_t len = std::min<size_t>(sample.u16be(), sample.remaining());
    std::span<const uint8_t> text = sample.take(len).bytes();
    std::string title;
    if (len >= 2 && text[0] == 0xFE && text[1] == 0xFF) {
      if (len >= 4) title = utf16_title(text.subspan(2), true, kTextTitleMax);
    } else {
      title.assign(reinterpret_cast<const char*>(text.data()), text.size());
    }
    out_.add(start, std::move(title));
  }
}
}  // namespace

void mp4_read_chapters(FILE* f, ChapterTable& out) {
  if (fseeko(f, 0, SEEK_END) != 0) return;
  off_t size = ftello(f);
  if (size <= 0) return;
  Walker(f, out).walk(0, static_cast<uint64_t>(size), 0);
}
