// Chooses the decoder by content, never by name: a file called .mp3 that holds RIFF/WAVE plays
// as WAV, an ID3 tag in front of "fLaC" as FLAC.
#include <cstring>

#include "audio/audio_decoder.h"
#include "base/paths.h"

namespace {
constexpr size_t kProbeBytes = 64;

bool is_adts(const uint8_t* p) { return p[0] == 0xFF && (p[1] & 0xF6) == 0xF0; }

const DecoderOps* after_id3(FILE* f, const uint8_t* head) {
  uint32_t size = ((head[6] & 0x7F) << 21) | ((head[7] & 0x7F) << 14) | ((head[8] & 0x7F) << 7) |
                  (head[9] & 0x7F);
  uint8_t p[8];
  if (fseeko(f, off_t{size} + 10, SEEK_SET) != 0) return &DEC_MP3;
  size_t n = fread(p, 1, sizeof p, f);
  if (n < 4) return &DEC_MP3;
  if (memcmp(p, "fLaC", 4) == 0) return &DEC_FLAC;
  if (is_adts(p)) return &DEC_ADTS;
  return &DEC_MP3;
}
}  // namespace

const DecoderOps* detect_decoder(const char* host_path) {
  FilePtr f(fopen(host_path, "rb"));
  if (!f) return nullptr;
  uint8_t p[kProbeBytes];
  size_t n = fread(p, 1, sizeof p, f.get());
  if (n >= 10 && memcmp(p, "ID3", 3) == 0) return after_id3(f.get(), p);
  if (n >= 4 && memcmp(p, "fLaC", 4) == 0) return &DEC_FLAC;
  if (n >= 12 && memcmp(p, "RIFF", 4) == 0 && memcmp(p + 8, "WAVE", 4) == 0) return &DEC_WAV;
  if (n >= 4 && memcmp(p, "OggS", 4) == 0) {
    if (n >= 34 && memmem(p + 26, n - 26, "OpusHead", 8)) return &DEC_OPUS;
    return &DEC_VORBIS;
  }
  if (n >= 8 && memcmp(p + 4, "ftyp", 4) == 0) return &DEC_MP4;
  if (n >= 2 && is_adts(p)) return &DEC_ADTS;
  return &DEC_MP3;
}
