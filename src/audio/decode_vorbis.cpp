// Ogg Vorbis decoded by the host's FFmpeg reader (its Vorbis decoder is a third faster than
// stb_vorbis here, and it resyncs past damage and mixes more than two channels down). Our own
// reading of the first two header packets comes first: it refuses files whose comment lengths
// overrun their packet, and it gives the comments for the chapter table.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>

#include "audio/audio_decoder.h"
#include "audio/ogg_pages.h"
#include "base/byte_reader.h"
#include "base/paths.h"
#include "host/plat.h"

namespace {
// Comment headers (cover art included) above this are refused.
constexpr size_t kMaxCommentBytes = 32 << 20;

// The stream's length in frames (from its last granule), and the frame the next read gives:
// FFmpeg does not always cut the decoder's last block at the granule, so reads stop there.
int64_t v_total = 0;
int64_t v_pos = 0;
uint32_t v_rate = 0;

bool has_magic(std::span<const uint8_t> p, uint8_t type) {
  return p.size() >= 7 && p[0] == type && memcmp(p.data() + 1, "vorbis", 6) == 0;
}

// Hands each comment of a comment header to `visit`; false when a length overruns the packet.
template <class Visit>
bool walk_comments(std::span<const uint8_t> p, Visit&& visit) {
  ByteReader r(p);
  r.skip(7);          // packet type and "vorbis"
  r.skip(r.u32le());  // vendor
  // Each comment takes at least its own 4-byte length.
  const uint32_t count = r.u32le();
  if (r.failed() || count > r.remaining() / 4) return false;
  for (uint32_t i = 0; i < count && !r.failed(); i++) {
    const std::string_view comment = r.text(r.u32le());
    if (!r.failed()) visit(comment);
  }
  return !r.failed();
}

// Reads the identification and comment packets (pages in file order, one stream), checks them
// and gathers the comments' chapters.
bool vorbis_headers_sound(const char* path, ChapterTable* chapters) {
  FilePtr file(fopen(path, "rb"));
  if (!file) return false;
  OggReader ogg;
  ogg.f = file.get();
  ogg.strict = true;
  ogg.max_packet = kMaxCommentBytes;
  if (!ogg.next_packet() || !has_magic({ogg.pkt.data(), ogg.plen}, 1)) return false;
  if (!ogg.next_packet()) return false;
  std::span<const uint8_t> comments(ogg.pkt.data(), ogg.plen);
  CommentSlots slots;
  if (!has_magic(comments, 3) || !walk_comments(comments, [&](std::string_view c) { vc_comment(slots, c); }))
    return false;
  if (chapters) vc_finish(slots, *chapters);
  return true;
}

bool vorbis_open(const char* path, AudioInfo* info, ChapterTable* chapters) {
  plat_ffaudio_close();
  if (!vorbis_headers_sound(path, chapters)) {
    if (chapters) chapters->clear();
    return false;
  }
  int hz = 0, channels = 0;
  double seconds = 0;
  if (!plat_ffaudio_open(path, &hz, &channels, &seconds) || hz <= 0 || channels <= 0) return false;
  info->rate = static_cast<uint32_t>(hz);
  info->channels = static_cast<uint32_t>(std::min(channels, 2));
  info->duration = seconds > 0 ? seconds : 0;
  v_rate = info->rate;
  v_total = seconds > 0 ? std::llround(seconds * hz) : 0;
  v_pos = 0;
  return true;
}

int vorbis_read(int16_t* buf, int frames, int channels) {
  if (v_total > 0) frames = static_cast<int>(std::clamp<int64_t>(v_total - v_pos, 0, frames));
  if (frames <= 0) return 0;
  int n = std::max(plat_ffaudio_read(buf, frames, channels), 0);
  v_pos += n;
  return n;
}

bool vorbis_seek(double seconds) {
  v_pos = static_cast<int64_t>(std::min<uint64_t>(seek_frame(seconds, v_rate), INT64_MAX));
  return plat_ffaudio_seek(seconds) == 0;
}
}  // namespace

const DecoderOps DEC_VORBIS = {"vorbis", vorbis_open, vorbis_read, vorbis_seek, plat_ffaudio_close};
