// WAV (RIFF/WAVE): integer PCM of 8, 16, 24 or 32 bits and 32-bit float, 1 to 8 channels,
// delivered as 16-bit with the first channels kept.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio/audio_decoder.h"
#include "base/paths.h"

namespace {
constexpr int kBlockFrames = 4096;
constexpr int kMaxChannels = 8;

struct WavState {
  FilePtr wf;
  uint64_t w_data = 0;  // offset of the data chunk's first byte
  uint64_t w_len = 0;   // its length in bytes
  uint64_t w_at = 0;    // bytes of it already delivered
  int w_ch = 0;
  int w_bits = 0;
  bool w_float = false;
  int w_block = 0;
  uint32_t w_rate = 0;
  std::vector<uint8_t> buf;
};
WavState W;

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

int16_t to_s16(const uint8_t* p, int bits, bool is_float) {
  switch (bits) {
    case 8:
      return static_cast<int16_t>(p[0] * 256 - 32768);
    case 16:
      return static_cast<int16_t>(le16(p));
    case 24:
      return static_cast<int16_t>(le16(p + 1));
    default:
      if (!is_float) return static_cast<int16_t>(le16(p + 2));
      float v;
      uint32_t u = le32(p);
      memcpy(&v, &u, 4);
      double s = std::trunc(static_cast<double>(v) * 32767.0);
      if (!(s >= -32768.0)) return -32768;  // also NaN
      return static_cast<int16_t>(std::min(s, 32767.0));
  }
}

void wav_close() { W = WavState{}; }

bool wav_open(const char* path, AudioInfo* info, ChapterTable*) {
  wav_close();
  W.wf.reset(fopen(path, "rb"));
  if (!W.wf) return false;
  FILE* f = W.wf.get();
  uint8_t h[12];
  if (fread(h, 1, 12, f) != 12 || memcmp(h, "RIFF", 4) != 0 || memcmp(h + 8, "WAVE", 4) != 0)
    return false;
  if (fseeko(f, 0, SEEK_END) != 0) return false;
  uint64_t file_size = static_cast<uint64_t>(ftello(f));
  uint64_t at = 12;
  int format = 0, channels = 0, bits = 0;
  uint32_t rate = 0;
  bool have_data = false;
  while (!have_data && file_size - at >= 8) {
    uint8_t c[8];
    if (fseeko(f, static_cast<off_t>(at), SEEK_SET) != 0 || fread(c, 1, 8, f) != 8) break;
    uint64_t size = le32(c + 4);
    at += 8;
    if (memcmp(c, "fmt ", 4) == 0) {
      if (size < 16) return false;
      uint8_t fmt[40] = {};
      size_t want = std::min<uint64_t>(size, sizeof fmt);
      if (fread(fmt, 1, want, f) != want) return false;
      format = le16(fmt);
      channels = le16(fmt + 2);
      rate = le32(fmt + 4);
      bits = le16(fmt + 14);
      if (format == 0xFFFE && size >= 26) format = le16(fmt + 24);
    } else if (memcmp(c, "data", 4) == 0) {
      W.w_data = at;
      W.w_len = size;
      have_data = true;
    }
    at += size + (size & 1);
  }
  if (!have_data || (format != 1 && format != 3) || rate == 0) return false;
  if (channels < 1 || channels > kMaxChannels) return false;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (format == 3 && bits != 32) return false;
  W.w_ch = channels;
  W.w_bits = bits;
  W.w_float = format == 3;
  W.w_block = bits * channels / 8;
  W.w_rate = rate;
  uint64_t rest = W.w_data <= file_size ? file_size - W.w_data : 0;
  if (W.w_len == 0 || W.w_len == 0xFFFFFFFF || W.w_len > rest) W.w_len = rest;
  W.w_len -= W.w_len % W.w_block;
  if (fseeko(f, static_cast<off_t>(W.w_data), SEEK_SET) != 0) return false;
  W.buf.resize(static_cast<size_t>(kBlockFrames) * W.w_block);
  info->rate = rate;
  info->channels = std::min(channels, 2);
  info->duration = static_cast<double>(W.w_len / W.w_block) / rate;
  return true;
}

int wav_read(int16_t* out, int frames, int channels) {
  if (!W.wf || channels < 1) return 0;
  uint64_t left = (W.w_len - W.w_at) / W.w_block;
  int n = static_cast<int>(std::min<uint64_t>({static_cast<uint64_t>(std::max(frames, 0)),
                                               kBlockFrames, left}));
  if (n == 0) return 0;
  n = static_cast<int>(fread(W.buf.data(), W.w_block, n, W.wf.get()));
  int bytes = W.w_bits / 8;
  int keep = std::min(channels, W.w_ch);
  for (int i = 0; i < n; i++) {
    const uint8_t* frame = W.buf.data() + static_cast<size_t>(i) * W.w_block;
    for (int c = 0; c < channels; c++)
      out[i * channels + c] = to_s16(frame + std::min(c, keep - 1) * bytes, W.w_bits, W.w_float);
  }
  W.w_at += static_cast<uint64_t>(n) * W.w_block;
  return n;
}

bool wav_seek(double seconds) {
  if (!W.wf) return false;
  uint64_t frames = W.w_len / W.w_block;
  uint64_t frame = seek_frame(seconds, W.w_rate);
  W.w_at = std::min(frame, frames) * W.w_block;
  return fseeko(W.wf.get(), static_cast<off_t>(W.w_data + W.w_at), SEEK_SET) == 0;
}
}  // namespace

const DecoderOps DEC_WAV = {"wav", wav_open, wav_read, wav_seek, wav_close};
