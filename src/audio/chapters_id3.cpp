// ID3v2.3/2.4 CHAP frames at the start of an MP3 file, titled by their TIT2 sub-frame.
#include <memory>
#include <new>
#include <vector>

#include "audio/audio_chapters.h"
#include "book/xml_scan.h"

namespace {
constexpr uint32_t kMaxTagBytes = 33554432;
constexpr size_t kTitleMax = 255;

uint32_t syncsafe(const uint8_t* p) {
  return ((p[0] & 0x7F) << 21) | ((p[1] & 0x7F) << 14) | ((p[2] & 0x7F) << 7) | (p[3] & 0x7F);
}
uint32_t be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// A text frame's body: an encoding byte and the text, as UTF-8.
std::string decode_text_frame(std::span<const uint8_t> body) {
  std::string out;
  if (body.empty()) return out;
  uint8_t encoding = body[0];
  std::span<const uint8_t> text = body.subspan(1);
  if (encoding == 1 || encoding == 2) {
    bool big = encoding == 2;
    if (text.size() >= 2 && text[0] == 0xFE && text[1] == 0xFF) {
      big = true;
      text = text.subspan(2);
    } else if (text.size() >= 2 && text[0] == 0xFF && text[1] == 0xFE) {
      big = false;
      text = text.subspan(2);
    }
    return utf16_title(text, big, kTitleMax);
  }
  for (uint8_t b : text) {
    if (b == 0) break;
    if (encoding == 3) {
      out += static_cast<char>(b);
    } else {
      append_utf8(out, b);
    }
  }
  cut_utf8(out, kTitleMax);
  return out;
}

// True when a frame can begin at `at`: the end of the data, padding, or a four-character ID.
bool frame_can_begin(std::span<const uint8_t> data, size_t at) {
  if (at == data.size() || data[at] == 0) return true;
  if (data.size() - at < 4) return false;
  for (size_t i = 0; i < 4; i++) {
    uint8_t c = data[at + i];
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Calls visit(id, body) for each frame of `data` until padding or a frame that overruns.
template <class Visit>
void walk_frames(std::span<const uint8_t> data, int version, Visit&& visit) {
  size_t at = 0;
  while (data.size() - at >= 10) {
    const uint8_t* h = data.data() + at;
    if (h[0] == 0) return;
    uint32_t size = version == 4 ? syncsafe(h + 4) : be32(h + 4);
    at += 10;
    // Some taggers write ID3v2.4 frame sizes as plain numbers. A byte with its top bit set
    // cannot be sync-safe; otherwise, when the sync-safe reading does not end where a frame can
    // begin and the plain one does, the plain one is meant.
    auto lands = [&](uint32_t n) { return n <= data.size() - at && frame_can_begin(data, at + n); };
    const bool not_syncsafe = ((h[4] | h[5] | h[6] | h[7]) & 0x80) != 0;
    if (version == 4 && (not_syncsafe || !lands(size)) && lands(be32(h + 4))) size = be32(h + 4);
    if (size > data.size() - at) return;
    visit(std::string_view(reinterpret_cast<const char*>(h), 4), data.subspan(at, size));
    at += size;
  }
}

void read_chap(std::span<const uint8_t> frame, int version, ChapterTable& out) {
  size_t id_end = 0;
  while (id_end < frame.size() && frame[id_end] != 0) id_end++;
  if (frame.size() - std::min(frame.size(), id_end) < 17) return;  // NUL + four times
  const uint8_t* times = frame.data() + id_end + 1;
  double start = be32(times) / 1000.0;
  std::string title;
  bool has_title = false;
  walk_frames(frame.subspan(id_end + 17), version, [&](std::string_view id, auto body) {
    if (has_title || id != "TIT2") return;
    has_title = true;
    if (body.size() >= 2) title = decode_text_frame(body);
  });
  if (title.empty()) title = "Chapter " + std::to_string(out.size() + 1);
  out.add(start, std::move(title));
}
}  // namespace

void id3_read_chapters(FILE* f, ChapterTable& out) {
  uint8_t header[10];
  if (fseek(f, 0, SEEK_SET) != 0 || fread(header, 1, 10, f) != 10) return;
  if (header[0] != 'I' || header[1] != 'D' || header[2] != '3') return;
  int version = header[3];
  if (version != 3 && version != 4) return;
  uint32_t size = syncsafe(header + 6);
  if (size > kMaxTagBytes) return;
  std::unique_ptr<uint8_t[]> tag(new (std::nothrow) uint8_t[size ? size : 1]);
  if (!tag) return;
  size_t got = fread(tag.get(), 1, size, f);
  std::span<const uint8_t> body(tag.get(), got);
  if ((header[5] & 0x40) && body.size() >= 4) {
    uint64_t ext = version == 4 ? syncsafe(body.data()) : uint64_t{be32(body.data())} + 4;
    if (ext < body.size()) body = body.subspan(ext);
  }
  walk_frames(body, version, [&](std::string_view id, auto frame) {
    if (id == "CHAP") read_chap(frame, version, out);
  });
  out.sort_by_start();
}
