// Chooses the decoder by content, never by name: a file called .mp3 that holds RIFF/WAVE plays
// as WAV, an ID3 tag in front of "fLaC" as FLAC. What no decoder recognises is refused: MP3 has
// no magic of its own, so it is claimed only for a run of valid frame headers, never for bytes
// that the MP3 decoder would play as noise (a big-endian RIFX file, say).
#include <cstring>

#include "audio/audio_decoder.h"
#include "audio/mp3_frames.h"
#include "base/byte_reader.h"
#include "base/paths.h"

namespace {
constexpr size_t kProbeBytes = 64;

bool is_adts(const uint8_t* p) { return p[0] == 0xFF && (p[1] & 0xF6) == 0xF0; }

const DecoderOps* mp3_or_nothing(FILE* f, uint64_t from) {
  return mp3_find_stream(f, from) ? &DEC_MP3 : nullptr;
}

const DecoderOps* after_id3(FILE* f, const ByteReader& head) {
  const uint64_t audio_at = uint64_t{id3_syncsafe(head.u32be_at(6))} + 10;
  uint8_t p[8];
  if (fseeko(f, static_cast<off_t>(audio_at), SEEK_SET) != 0) return nullptr;
  const ByteReader after(p, fread(p, 1, sizeof p, f));
  if (after.matches_at(0, "fLaC")) return &DEC_FLAC;
  if (after.size() >= 2 && is_adts(p)) return &DEC_ADTS;
  return mp3_or_nothing(f, audio_at);
}
}  // namespace

const DecoderOps* detect_decoder(const char* host_path) {
  FilePtr f(fopen(host_path, "rb"));
  if (!f) return nullptr;
  uint8_t p[kProbeBytes];
  const size_t n = fread(p, 1, sizeof p, f.get());
  const ByteReader probe(p, n);
  if (n >= 10 && probe.matches_at(0, "ID3")) return after_id3(f.get(), probe);
  if (probe.matches_at(0, "fLaC")) return &DEC_FLAC;
  if (probe.matches_at(0, "RIFF") && probe.matches_at(8, "WAVE")) return &DEC_WAV;
  if (probe.matches_at(0, "OggS")) {
    if (n >= 34 && memmem(p + 26, n - 26, "OpusHead", 8)) return &DEC_OPUS;
    return &DEC_VORBIS;
  }
  if (probe.matches_at(4, "ftyp")) return &DEC_MP4;
  if (n >= 2 && is_adts(p)) return &DEC_ADTS;
  return mp3_or_nothing(f.get(), 0);
}
