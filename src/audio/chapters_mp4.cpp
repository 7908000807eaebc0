// MP4/M4B chapters: a Nero "chpl" list in the user data, or a QuickTime chapter track (a text
// track whose samples are the titles). A later "chpl" replaces the table; a text track only
// fills a table that is still empty.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "audio/audio_chapters.h"

namespace {
constexpr int kMaxDepth = 12;
constexpr uint64_t kMaxTablePayload = 64ull << 20;
constexpr uint64_t kMaxSamples = 8000000;
constexpr size_t kMaxTextChapters = 512;
constexpr size_t kTextTitleMax = 799;

uint32_t be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}
uint64_t be64(const uint8_t* p) { return (uint64_t{be32(p)} << 32) | be32(p + 4); }

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
  void on_box(const char* type, uint64_t at, uint64_t size, int depth);
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
    uint8_t h[16];
    if (!read_at(at, h, 8)) return;
    uint64_t size = be32(h);
    uint64_t header = 8;
    if (size == 1) {
      if (end - at < 16 || !read_at(at + 8, h + 8, 8)) return;
      size = be64(h + 8);
      header = 16;
    } else if (size == 0) {
      size = end - at;
    }
    if (size < header || size > end - at) return;
    char type[5] = {static_cast<char>(h[4]), static_cast<char>(h[5]), static_cast<char>(h[6]),
                    static_cast<char>(h[7]), 0};
    on_box(type, at + header, size - header, depth);
    at += size;
  }
}

void Walker::on_box(const char* type, uint64_t at, uint64_t size, int depth) {
  auto is = [&](const char* t) { return memcmp(type, t, 4) == 0; };
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
    uint8_t p[32];
    if (!read_at(at, p, size >= 32 ? 32 : 24)) return;
    if (p[0] == 1) {
      if (size >= 32) track_->timescale = be32(p + 20);
    } else {
      track_->timescale = be32(p + 12);
    }
  } else if (track_ && is("stsd") && size >= 16) {
    uint8_t p[16];
    if (read_at(at, p, 16) && (memcmp(p + 12, "text", 4) == 0 || memcmp(p + 12, "tx3g", 4) == 0))
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
  int count = p[8];
  if (count == 0) return;
  out_.clear();
  size_t at = 9;
  for (int i = 0; i < count; i++) {
    if (p.size() - at < 9) return;
    double start = static_cast<double>(be64(p.data() + at)) / 10000000.0;
    size_t len = p[at + 8];
    at += 9;
    if (len > p.size() - at) return;
    out_.add(start, std::string(reinterpret_cast<const char*>(p.data() + at), len));
    at += len;
  }
}

std::vector<Sample> Walker::expand(const Track& t) {
  std::vector<Sample> list;
  if (t.stsz.size() < 12 || t.stco.size() < 8 || t.stsc.size() < 8) return list;
  uint32_t fixed = be32(t.stsz.data() + 4);
  uint64_t count = be32(t.stsz.data() + 8);
  if (count > kMaxSamples) return list;
  if (fixed == 0 && count > (t.stsz.size() - 12) / 4) return list;
  uint64_t chunks = be32(t.stco.data() + 4);
  size_t width = t.co64 ? 8 : 4;
  if (chunks > (t.stco.size() - 8) / width) return list;
  uint64_t entries = be32(t.stsc.data() + 4);
  if (entries == 0 || entries > (t.stsc.size() - 8) / 12) return list;
  list.reserve(count);
  size_t entry = 0;
  for (uint64_t c = 0; c < chunks && list.size() < count; c++) {
    while (entry + 1 < entries && be32(t.stsc.data() + 8 + (entry + 1) * 12) <= c + 1) entry++;
    uint32_t per_chunk = be32(t.stsc.data() + 8 + entry * 12 + 4);
    const uint8_t* o = t.stco.data() + 8 + c * width;
    uint64_t offset = t.co64 ? be64(o) : be32(o);
    for (uint32_t s = 0; s < per_chunk && list.size() < count; s++) {
      uint32_t size = fixed ? fixed : be32(t.stsz.data() + 12 + list.size() * 4);
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
  uint64_t stts_entries = std::min<uint64_t>(be32(t.stts.data() + 4), (t.stts.size() - 8) / 8);
  uint64_t entry = 0, used_in_entry = 0, ticks = 0;
  for (const Sample& s : samples) {
    double start = static_cast<double>(ticks) / t.timescale;
    // Advance the clock past this sample before anything can skip it.
    while (entry < stts_entries && used_in_entry >= be32(t.stts.data() + 8 + entry * 8)) {
      entry++;
      used_in_entry = 0;
    }
    if (entry < stts_entries) {
      ticks += be32(t.stts.data() + 8 + entry * 8 + 4);
      used_in_entry++;
    }
    uint8_t buf[256];
    size_t want = std::min<size_t>(s.size, sizeof buf);
    if (fseeko(mf_, static_cast<off_t>(s.offset), SEEK_SET) != 0) continue;
    size_t got = fread(buf, 1, want, mf_);
    if (got < 2) continue;
    size_t len = std::min<size_t>((buf[0] << 8) | buf[1], got - 2);
    std::span<const uint8_t> text(buf + 2, len);
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
