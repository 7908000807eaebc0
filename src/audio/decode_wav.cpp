// WAV (RIFF/WAVE): integer PCM of 8, 16, 24 or 32 bits and 32-bit float, 1 to 8 channels,
// delivered as 16-bit with the first channels kept.
#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

#include "audio/audio_decoder.h"
#include "base/byte_reader.h"
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
WavState wav;  // the open part

// The sample at `at` in a frame, cut or scaled to 16 bits.
int16_t to_s16(const ByteReader& frame, size_t at, int bits, bool is_float) {
  switch (bits) {
    case 8:
      return static_cast<int16_t>(frame.u8_at(at) * 256 - 32768);
    case 16:
      return static_cast<int16_t>(frame.u16le_at(at));
    case 24:
      return static_cast<int16_t>(frame.u16le_at(at + 1));
    default:
      if (!is_float) return static_cast<int16_t>(frame.u16le_at(at + 2));
      const float v = std::bit_cast<float>(frame.u32le_at(at));
      double s = std::trunc(static_cast<double>(v) * 32767.0);
      if (!(s >= -32768.0)) return -32768;  // also NaN
      return static_cast<int16_t>(std::min(s, 32767.0));
  }
}

void wav_close() { wav = WavState{}; }

bool wav_open(const char* path, AudioInfo* info, ChapterTable*) {
  wav_close();
  wav.wf.reset(fopen(path, "rb"));
  if (!wav.wf) return false;
  FILE* f = wav.wf.get();
  uint8_t riff[12];
  const ByteReader h(riff, sizeof riff);
  if (fread(riff, 1, sizeof riff, f) != sizeof riff || !h.matches_at(0, "RIFF") || !h.matches_at(8, "WAVE"))
    return false;
  if (fseeko(f, 0, SEEK_END) != 0) return false;
  uint64_t file_size = static_cast<uint64_t>(ftello(f));
  uint64_t at = 12;
  int format = 0, channels = 0, bits = 0;
  uint32_t rate = 0;
  bool have_data = false;
  while (!have_data && file_size - at >= 8) {
    uint8_t chunk[8];
    const ByteReader c(chunk, sizeof chunk);
    if (fseeko(f, static_cast<off_t>(at), SEEK_SET) != 0 || fread(chunk, 1, sizeof chunk, f) != sizeof chunk)
      break;
    uint64_t size = c.u32le_at(4);
    at += 8;
    if (c.matches_at(0, "fmt ")) {
      if (size < 16) return false;
      uint8_t raw[40] = {};
      const ByteReader fmt(raw, sizeof raw);
      size_t want = std::min<uint64_t>(size, sizeof raw);
      if (fread(raw, 1, want, f) != want) return false;
      format = fmt.u16le_at(0);
      channels = fmt.u16le_at(2);
      rate = fmt.u32le_at(4);
      bits = fmt.u16le_at(14);
      if (format == 0xFFFE && size >= 26) format = fmt.u16le_at(24);  // the extensible subformat
    } else if (c.matches_at(0, "data")) {
      wav.w_data = at;
      wav.w_len = size;
      have_data = true;
    }
    at += size + (size & 1);
  }
  if (!have_data || (format != 1 && format != 3) || rate == 0) return false;
  if (channels < 1 || channels > kMaxChannels) return false;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (format == 3 && bits != 32) return false;
  wav.w_ch = channels;
  wav.w_bits = bits;
  wav.w_float = format == 3;
  wav.w_block = bits * channels / 8;
  wav.w_rate = rate;
  uint64_t rest = wav.w_data <= file_size ? file_size - wav.w_data : 0;
  if (wav.w_len == 0 || wav.w_len == 0xFFFFFFFF || wav.w_len > rest) wav.w_len = rest;
  wav.w_len -= wav.w_len % wav.w_block;
  if (fseeko(f, static_cast<off_t>(wav.w_data), SEEK_SET) != 0) return false;
  wav.buf.resize(static_cast<size_t>(kBlockFrames) * wav.w_block);
  info->rate = rate;
  info->channels = std::min(channels, 2);
  info->duration = static_cast<double>(wav.w_len / wav.w_block) / rate;
  return true;
}

int wav_read(int16_t* out, int frames, int channels) {
  if (!wav.wf || channels < 1) return 0;
  uint64_t left = (wav.w_len - wav.w_at) / wav.w_block;
  int n = static_cast<int>(std::min<uint64_t>({static_cast<uint64_t>(std::max(frames, 0)),
                                               kBlockFrames, left}));
  if (n == 0) return 0;
  n = static_cast<int>(fread(wav.buf.data(), wav.w_block, n, wav.wf.get()));
  int bytes = wav.w_bits / 8;
  int keep = std::min(channels, wav.w_ch);
  for (int i = 0; i < n; i++) {
    const size_t block = static_cast<size_t>(wav.w_block);
    const ByteReader frame(wav.buf.data() + static_cast<size_t>(i) * block, block);
    for (int c = 0; c < channels; c++)
      out[i * channels + c] =
          to_s16(frame, static_cast<size_t>(std::min(c, keep - 1) * bytes), wav.w_bits, wav.w_float);
  }
  wav.w_at += static_cast<uint64_t>(n) * wav.w_block;
  return n;
}

bool wav_seek(double seconds) {
  if (!wav.wf) return false;
  uint64_t frames = wav.w_len / wav.w_block;
  uint64_t frame = seek_frame(seconds, wav.w_rate);
  wav.w_at = std::min(frame, frames) * wav.w_block;
  return fseeko(wav.wf.get(), static_cast<off_t>(wav.w_data + wav.w_at), SEEK_SET) == 0;
}
}  // namespace

const DecoderOps DEC_WAV = {"wav", wav_open, wav_read, wav_seek, wav_close};
