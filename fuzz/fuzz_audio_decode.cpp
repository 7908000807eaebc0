// Any file handed to the audiobook engine opens cleanly or is refused, and an open one reads,
// seeks and reads again without overrunning the caller's buffer.
//
// Input: byte 0 picks the adapter (0: chosen by content, as the engine does; otherwise one
// adapter forced, so each is fuzzed even on input the detection would give to another) and
// whether to read with the other channel count; bytes 1..3 pick three seek targets; the rest
// is the file. FFmpeg's demuxing path costs far more per run than the native decoders, so it
// gets a campaign of its own: with QL_FUZZ_AUDIO_AAC=1 in the environment only the adapters
// that read through it (MP4, ADTS, Ogg Vorbis) run, otherwise they are left out.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "audio/audio_decoder.h"

namespace {
std::string g_file;
bool g_aac_share = false;

constexpr int kMaxCallsPerPass = 200;
constexpr int64_t kMaxFramesPerPass = 3 * 48000;  // about three seconds of audio

bool is_aac(const DecoderOps* d) { return d == &DEC_MP4 || d == &DEC_ADTS || d == &DEC_VORBIS; }

const DecoderOps* pick(uint8_t mode) {
  static const DecoderOps* const kNative[] = {nullptr, &DEC_MP3, &DEC_FLAC, &DEC_WAV, &DEC_OPUS};
  static const DecoderOps* const kAac[] = {nullptr, &DEC_MP4, &DEC_ADTS, &DEC_VORBIS};
  const DecoderOps* d = g_aac_share ? kAac[mode % 4] : kNative[mode % 5];
  if (d) return d;
  d = detect_decoder(g_file.c_str());
  if (!d) return nullptr;
  return is_aac(d) == g_aac_share ? d : nullptr;
}

// A seek target from one input byte: mostly a point of the known length, sometimes a value
// far outside it (the engine passes any later position when the length is unknown).
double seek_target(uint8_t b, double duration) {
  static const double kFar[] = {0.0,   1e-9, 0.5,   59.9, 3600.0, 4294967.296, 1e9,
                                1e12,  1e15, 1e18,  1e19, 1e100,  1e300,       1e308};
  if (b < 200) return duration > 0 ? duration * b / 199 : b * 0.05;
  if (b < 214) return kFar[b - 200];
  return duration + (b - 214) * 0.25;
}

// Reads up to a few seconds; every count must fit the buffer handed in. Returns frames read.
int64_t read_pass(const DecoderOps* d, int channels, uint32_t rate, const uint8_t* sizes,
                  size_t nsizes) {
  int64_t total = 0;
  const int64_t cap = std::min<int64_t>(kMaxFramesPerPass, int64_t{rate} * 3);
  for (int call = 0; call < kMaxCallsPerPass && total < cap; call++) {
    int want = nsizes ? 1 + sizes[call % nsizes] * 16 : 4096;
    // Exactly sized, so a write past `want` frames is caught by the address sanitizer.
    std::unique_ptr<int16_t[]> buf(new int16_t[static_cast<size_t>(want) * channels]);
    int n = d->read(buf.get(), want, channels);
    if (n < 0 || n > want) __builtin_trap();
    if (n == 0) break;
    total += n;
  }
  return total;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* aac = getenv("QL_FUZZ_AUDIO_AAC");
  g_aac_share = aac && *aac == '1';
  char dir[] = "/tmp/ql-fuzz-audio-XXXXXX";
  if (!mkdtemp(dir)) abort();
  g_file = std::string(dir) + "/part";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint8_t mode = data[0];
  FILE* f = fopen(g_file.c_str(), "wb");
  if (!f) abort();
  fwrite(data + 4, 1, size - 4, f);
  fclose(f);

  const DecoderOps* d = pick(mode);
  if (!d) return 0;
  AudioInfo info;
  ChapterTable chapters;
  if (!d->open(g_file.c_str(), &info, &chapters)) {
    d->close();
    return 0;
  }
  if (info.rate == 0 || info.channels < 1 || info.channels > 2) __builtin_trap();
  if (!std::isfinite(info.duration) || info.duration < 0) __builtin_trap();
  for (const Chapter& c : chapters.items())
    if (!std::isfinite(c.start)) __builtin_trap();

  int channels = info.channels < 2 ? 1 : 2;
  if (mode & 0x80) channels = 3 - channels;
  // The read sizes come from the file bytes, so they vary without a field of their own.
  const uint8_t* sizes = data + 4;
  const size_t nsizes = std::min<size_t>(size - 4, 16);
  const int64_t first = read_pass(d, channels, info.rate, sizes, nsizes);
  // A WAV's length is its data chunk, so reading from the start never passes it.
  if (d == &DEC_WAV && first > static_cast<int64_t>(std::llround(info.duration * info.rate)) + 1)
    __builtin_trap();
  for (int i = 1; i <= 3; i++) {
    d->seek(seek_target(data[i], info.duration));
    read_pass(d, channels, info.rate, sizes, nsizes);
  }
  d->close();
  return 0;
}
