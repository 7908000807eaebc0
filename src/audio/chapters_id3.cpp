// ID3v2.3/2.4 CHAP frames at the start of an MP3 file, titled by their TIT2 sub-frame.
#include <memory>
#include <new>
#include <vector>

#include "audio/audio_chapters.h"
#include "base/byte_reader.h"
#include "base/utf8.h"

namespace {
constexpr uint32_t kMaxTagBytes = 33554432;
constexpr size_t kTitleMax = 255;

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

// True when a frame can begin at `off`: the end of the data, padding, or a four-character ID.
bool frame_can_begin(const ByteReader& data, size_t off) {
  if (off == data.size() || data.u8_at(off) == 0) return true;
  if (!data.has(off, 4)) return false;
  for (size_t i = 0; i < 4; i++) {
    const uint8_t c = data.u8_at(off + i);
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Calls visit(id, body) for each frame of `data` until padding or a frame that overruns.
template <class Visit>
void walk_frames(ByteReader data, int version, Visit&& visit) {
  while (data.remaining() >= 10) {
    if (data.u8_at(data.pos()) == 0) return;  // padding
    const std::string_view id = data.text(4);
    const uint32_t raw = data.u32be();
    data.skip(2);  // flags
    uint32_t size = version == 4 ? id3_syncsafe(raw) : raw;
    if (version == 4) {
      // Some taggers write ID3v2.4 frame sizes as plain numbers. A byte with its top bit set
      // cannot be sync-safe; otherwise, when the sync-safe reading does not end where a frame
      // can begin and the plain one does, the plain one is meant.
      const size_t at = data.pos();
      auto lands = [&](uint32_t n) { return data.has(at, n) && frame_can_begin(data, at + n); };
      const bool not_syncsafe = (raw & 0x80808080u) != 0;
      if ((not_syncsafe || !lands(size)) && lands(raw)) size = raw;
    }
    const ByteReader body = data.take(size);
    if (data.failed()) return;
    visit(id, body);
  }
}

void read_chap(ByteReader frame, int version, ChapterTable& out) {
  const size_t id_end = frame.chars().find('\0');
  if (id_end == std::string_view::npos) return;
  frame.seek(id_end + 1);
  const double start = frame.u32be() / 1000.0;
  frame.skip(12);  // end time and byte offsets
  if (frame.failed()) return;
  std::string title;
  bool has_title = false;
  walk_frames(frame.from(frame.pos()), version, [&](std::string_view id, const ByteReader& body) {
    if (has_title || id != "TIT2") return;
    has_title = true;
    if (body.size() >= 2) title = decode_text_frame(body.bytes());
  });
  if (title.empty()) title = "Chapter " + std::to_string(out.size() + 1);
  out.add(start, std::move(title));
}
}  // namespace

void id3_read_chapters(FILE* f, ChapterTable& out) {
  uint8_t header[10];
  const ByteReader h(header, sizeof header);
  if (fseek(f, 0, SEEK_SET) != 0 || fread(header, 1, sizeof header, f) != sizeof header) return;
  if (!h.matches_at(0, "ID3")) return;
  int version = h.u8_at(3);
  if (version != 3 && version != 4) return;
  uint32_t size = id3_syncsafe(h.u32be_at(6));
  if (size > kMaxTagBytes) return;
  std::unique_ptr<uint8_t[]> tag(new (std::nothrow) uint8_t[size ? size : 1]);
  if (!tag) return;
  size_t got = fread(tag.get(), 1, size, f);
  ByteReader body(tag.get(), got);
  if ((h.u8_at(5) & 0x40) && body.size() >= 4) {  // an extended header, skipped by its size
    const uint32_t field = body.u32be_at(0);
    uint64_t ext = version == 4 ? id3_syncsafe(field) : uint64_t{field} + 4;
    if (ext < body.size()) body = body.from(ext);
  }
  walk_frames(body, version, [&](std::string_view id, const ByteReader& frame) {
    if (id == "CHAP") read_chap(frame, version, out);
  });
  out.sort_by_start();
}
