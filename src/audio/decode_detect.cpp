// Chooses the decoder by content, never by name: a file called .mp3 that holds RIFF/WAVE plays
// as WAV, an ID3 tag in front of "fLaC" as FLAC.
#include <cstring>

#include "audio/audio_decoder.h"
#include "base/byte_reader.h"
#include "base/paths.h"

namespace {
constexpr size_t kProbeBytes = 64;

bool is_adts(const uint8_t* p) { return p[0] == 0xFF && (p[1] & 0xF6) == 0xF0; }

const DecoderOps* after_id3(FILE* f, const ByteReader& head) {
  uint32_t size = id3_syncsafe(head.u32be_at(6));
  uint8_t p[8];
  if (fseeko(f, off_t{size} + 10, SEEK_SET) != 0) return &DEC_MP3;
  const ByteReader after(p, fread(p, 1, sizeof p, f));
  if (after.size() < 4) return &DEC_MP3;
  if (after.matches_at(0, "fLaC")) return &DEC_FLAC;
  if (is_adts(p)) return &DEC_ADTS;
  return &DEC_MP3;
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
  return &DEC_MP3;
}
