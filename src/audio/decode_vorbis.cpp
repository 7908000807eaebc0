// Ogg Vorbis through stb_vorbis, which also mixes more than two channels down. Two guards sit
// around it: our own reading of the first two header packets refuses files whose comment
// lengths overrun their packet (stb reads such a length byte by byte, far past the packet's
// end, stalling the engine thread), and every decoder allocation comes from an arena we own,
// so nothing stb builds is lost when it gives up half-way through a damaged setup.
#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <span>

#include "audio/audio_decoder.h"
#include "audio/ogg_pages.h"
#include "base/byte_reader.h"
#include "base/paths.h"

namespace {
// A typical setup needs a few hundred KiB; huge codebooks or comments (cover art) more.
constexpr int kFirstArenaBytes = 512 << 10;
constexpr int kMaxArenaBytes = 32 << 20;

stb_vorbis* vf = nullptr;
std::unique_ptr<char[]> v_arena;  // holds vf and all it points to
uint32_t v_rate = 0;
unsigned v_total = 0;

bool has_magic(std::span<const uint8_t> p, uint8_t type) {
  return p.size() >= 7 && p[0] == type && memcmp(p.data() + 1, "vorbis", 6) == 0;
}

// Every length in the comment header fits in what is left of the packet.
bool comment_lengths_fit(std::span<const uint8_t> p) {
  ByteReader r(p);
  r.skip(7);          // packet type and "vorbis"
  r.skip(r.u32le());  // vendor
  // Each comment takes at least its own 4-byte length.
  const uint32_t count = r.u32le();
  if (r.failed() || count > r.remaining() / 4) return false;
  for (uint32_t i = 0; i < count && !r.failed(); i++) r.skip(r.u32le());
  return !r.failed();
}

// Reads the identification and comment packets as stb will (pages in file order, one stream)
// and checks them. A comment header larger than the arena could never open anyway.
bool vorbis_headers_sound(const char* path) {
  FilePtr file(fopen(path, "rb"));
  if (!file) return false;
  OggReader ogg;
  ogg.f = file.get();
  ogg.strict = true;
  ogg.max_packet = kMaxArenaBytes;
  if (!ogg.next_packet() || !has_magic({ogg.pkt.data(), ogg.plen}, 1)) return false;
  if (!ogg.next_packet()) return false;
  std::span<const uint8_t> comments(ogg.pkt.data(), ogg.plen);
  return has_magic(comments, 3) && comment_lengths_fit(comments);
}

void vorbis_close() {
  if (vf) stb_vorbis_close(vf);  // with an arena this only closes the file
  vf = nullptr;
  v_arena.reset();
  v_rate = 0;
  v_total = 0;
}

// Opens with an arena just big enough, doubling it while stb runs out of room.
stb_vorbis* open_in_arena(const char* path) {
  for (int bytes = kFirstArenaBytes; bytes <= kMaxArenaBytes; bytes *= 2) {
    auto arena = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(bytes));
    const stb_vorbis_alloc alloc{arena.get(), bytes};
    int err = 0;
    if (stb_vorbis* v = stb_vorbis_open_filename(path, &err, &alloc)) {
      v_arena = std::move(arena);
      return v;
    }
    if (err != VORBIS_outofmem) break;
  }
  return nullptr;
}

bool vorbis_open(const char* path, AudioInfo* info, ChapterTable* chapters) {
  vorbis_close();
  if (!vorbis_headers_sound(path)) return false;
  vf = open_in_arena(path);
  if (!vf) return false;
  stb_vorbis_info vi = stb_vorbis_get_info(vf);
  if (vi.sample_rate == 0 || vi.channels <= 0) return false;
  v_rate = vi.sample_rate;
  v_total = stb_vorbis_stream_length_in_samples(vf);
  info->rate = v_rate;
  info->channels = static_cast<uint32_t>(std::min(vi.channels, 2));
  info->duration = static_cast<double>(v_total) / v_rate;
  if (chapters) {
    CommentSlots slots;
    stb_vorbis_comment c = stb_vorbis_get_comment(vf);
    for (int i = 0; i < c.comment_list_length; i++) vc_comment(slots, c.comment_list[i]);
    vc_finish(slots, *chapters);
  }
  return true;
}

int vorbis_read(int16_t* buf, int frames, int channels) {
  if (!vf || frames <= 0 || channels < 1) return 0;
  return stb_vorbis_get_samples_short_interleaved(vf, channels, buf, frames * channels);
}

bool vorbis_seek(double seconds) {
  if (!vf) return false;
  uint64_t frame = seek_frame(seconds, v_rate);
  // stb_vorbis counts samples in 32 bits; a target past that lies past any length it reports.
  frame = std::min<uint64_t>(frame, v_total ? v_total : UINT32_MAX);
  return stb_vorbis_seek(vf, static_cast<unsigned>(frame)) != 0;
}
}  // namespace

const DecoderOps DEC_VORBIS = {"vorbis", vorbis_open, vorbis_read, vorbis_seek, vorbis_close};
