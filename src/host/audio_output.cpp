// 16-bit PCM output through SDL2 audio. The writer fills four 16384-byte buffers in turn and
// waits (at most 3 s) for a free one; SDL's callback thread plays them in order and hands each
// finished buffer back (aq_done). Without a sound device the output goes to SDL's dummy
// driver, which consumes audio at the real rate, so playback still works silently. The audio
// subsystem is set up at each open and shut at each close, so a device that appears later (or
// a different SDL_AUDIODRIVER) is found by the next part. SDL itself is loaded at the first open:
// it brings some fifty libraries that a run which plays nothing has no use for.
#include <SDL2/SDL.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

#include "host/lazy_library.h"
#include "host/plat.h"

namespace {
constexpr int kBuffers = 4;
constexpr size_t kBufferBytes = 16384;
constexpr auto kWriteWait = std::chrono::seconds(3);
constexpr int kMsPerSecond = 1000;
constexpr Uint16 kDeviceFrames = 2048;

struct OutBuffer {
  std::array<uint8_t, kBufferBytes> data;
  size_t size = 0;
  size_t played = 0;
  bool free = true;
};

// amu guards the buffers, their free flags and the play order; acv signals a freed buffer.
std::mutex amu;
std::condition_variable acv;
std::array<OutBuffer, kBuffers> bufs;
std::deque<int> play_order;
SDL_AudioDeviceID dev = 0;
int bytes_per_frame = 0;
int device_rate = 0;
float volume = 1.0f;
bool sdl_started = false;  // SDL was called since it was last quit

#define QL_SDL_CALLS(X)                                                            \
  X(SDL_SetHint) X(SDL_InitSubSystem) X(SDL_Quit) X(SDL_OpenAudioDevice) \
  X(SDL_PauseAudioDevice) X(SDL_CloseAudioDevice) X(SDL_Delay)
struct SdlCalls {
  QL_SDL_CALLS(QL_CALL_SLOT)
};
SdlCalls sdl;  // filled by load_sdl

// Loads SDL and binds its calls the first time; false, each time, when it is missing.
bool load_sdl() {
  static const bool loaded = [] {
    const LazyLibraries libs{"libSDL2-2.0.so.0"};
    bool bound = libs.loaded();
#define QL_SDL_BIND(name) bound = bound && libs.bind(#name, sdl.name);
    QL_SDL_CALLS(QL_SDL_BIND)
#undef QL_SDL_BIND
    if (!bound) fprintf(stderr, "quillo: no sound: %s\n", libs.failure("SDL").c_str());
    return bound;
  }();
  return loaded;
}

void aq_done(int index) {
  bufs[index].free = true;
  acv.notify_all();
}

void copy_scaled(uint8_t* to, const uint8_t* from, size_t bytes) {
  if (volume == 1.0f) {
    memcpy(to, from, bytes);
    return;
  }
  for (size_t i = 0; i + 1 < bytes; i += 2) {
    int16_t s;
    memcpy(&s, from + i, 2);
    float v = s * volume;
    v = v > 32767.0f ? 32767.0f : v < -32768.0f ? -32768.0f : v;
    s = static_cast<int16_t>(v);
    memcpy(to + i, &s, 2);
  }
}

void SDLCALL fill(void*, Uint8* stream, int len) {
  std::lock_guard lock(amu);
  size_t want = static_cast<size_t>(len);
  while (want > 0 && !play_order.empty()) {
    int index = play_order.front();
    OutBuffer& b = bufs[index];
    size_t n = std::min(want, b.size - b.played);
    copy_scaled(stream, b.data.data() + b.played, n);
    stream += n;
    want -= n;
    b.played += n;
    if (b.played == b.size) {
      play_order.pop_front();
      aq_done(index);
    }
  }
  memset(stream, 0, want);  // underrun: silence
}

// Audio is all this program asks of SDL, so SDL is quit whole: that frees its hints and driver
// lists too, which quitting the audio subsystem alone keeps for the life of the process.
void quit_sdl() {
  if (sdl_started) sdl.SDL_Quit();
  sdl_started = false;
}

bool init_audio(const char* driver) {
  quit_sdl();
  sdl_started = true;
  if (driver) {
    sdl.SDL_SetHint(SDL_HINT_AUDIODRIVER, driver);
  }
  // SDL would otherwise turn SIGINT and SIGTERM into its own quit events, which nobody reads: the
  // host's quit signals (host_quit_on_signals) must mean the same before and after sound. Quitting
  // SDL clears its hints, so this is said at every start.
  sdl.SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  return sdl.SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

SDL_AudioDeviceID open_device(int hz, int channels) {
  SDL_AudioSpec want{};
  want.freq = hz;
  want.format = AUDIO_S16SYS;
  want.channels = static_cast<Uint8>(channels);
  want.samples = kDeviceFrames;
  want.callback = fill;
  return sdl.SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
}
}  // namespace

int plat_audio_open(int hz, int channels) {
  plat_audio_close();
  if (hz <= 0 || channels < 1 || channels > 2 || !load_sdl()) return 0;
  if (init_audio(nullptr) || init_audio("dummy")) dev = open_device(hz, channels);
  if (dev == 0 && init_audio("dummy")) dev = open_device(hz, channels);
  if (dev == 0) {
    quit_sdl();
    return 0;
  }
  bytes_per_frame = 2 * channels;
  device_rate = hz;
  const char* v = getenv("CVNL_VOLUME");
  volume = v ? static_cast<float>(atof(v)) : 1.0f;
  sdl.SDL_PauseAudioDevice(dev, 0);
  return 1;
}

int plat_audio_write(const int16_t* frames, int count) {
  if (dev == 0 || count < 0) return 0;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(frames);
  size_t left = static_cast<size_t>(count) * bytes_per_frame;
  while (left > 0) {
    size_t piece = std::min(left, kBufferBytes);
    auto deadline = std::chrono::steady_clock::now() + kWriteWait;
    std::unique_lock lock(amu);
    int index = -1;
    while (index < 0) {
      for (int i = 0; i < kBuffers && index < 0; i++)
        if (bufs[i].free) index = i;
      if (index < 0 && acv.wait_until(lock, deadline) == std::cv_status::timeout) return 0;
    }
    OutBuffer& b = bufs[index];
    b.free = false;
    memcpy(b.data.data(), p, piece);
    b.size = piece;
    b.played = 0;
    play_order.push_back(index);
    p += piece;
    left -= piece;
  }
  return 1;
}

int plat_audio_drain(int timeout_ms) {
  if (dev == 0) return 1;
  {
    std::unique_lock lock(amu);
    if (!acv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                      [] { return play_order.empty(); }))
      return 0;
  }
  // The callback has copied the last bytes into the device's own buffer; let them play.
  sdl.SDL_Delay(static_cast<Uint32>(kDeviceFrames * kMsPerSecond / device_rate + 1));
  return 1;
}

void plat_audio_close() {
  // Waits for a running callback; pending audio is dropped.
  if (dev != 0) sdl.SDL_CloseAudioDevice(dev);
  dev = 0;
  quit_sdl();
  std::lock_guard lock(amu);
  play_order.clear();
  for (OutBuffer& b : bufs) b.free = true;
}
