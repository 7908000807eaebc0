// The seam between the portable program and the machine it runs on. The desktop host implements
// it twice (a GTK window and a headless front end) over one event ring and one presented frame;
// the core, the display layer and the audio engine call only these functions.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Input events, in framebuffer pixels.
enum HostEventType : uint32_t {
  HOST_POINTER_DOWN = 1,
  HOST_POINTER_MOVE = 2,
  HOST_POINTER_UP = 3,
  HOST_DEVICE_EVENT = 4,
  HOST_QUIT = 5,
  HOST_BOOKS_ADDED = 6,
  HOST_APPEARANCE = 7,
  HOST_DEVICE_EVENT_2 = 8,
  HOST_PAGE_KEY = 9,  // Page Down, Space and the others: x is 1 to turn forward, 0 to turn back
};

struct HostEvent {
  uint32_t type;
  int32_t x;
  int32_t y;
};

// Screen: size, presentation, events.
int plat_init(int* w, int* h);
int plat_event(int timeout_ms, int* x, int* y);
int plat_pending();
void plat_present(const uint8_t* grey, int w, int h, int full, int wave, int invert);
int plat_system_dark();
void plat_import();
// At quit: books handed over for copying in (dropped, or chosen in Add Books), waiting ones too,
// may arrive until `reserve_ms` before the quit's forced end. From then on no copy is put in place
// and none starts; the one still under way is stopped and its part removed, however long its last
// flush takes. The names of the books that did not arrive: exactly those.
std::vector<std::string> plat_finish_copies(int reserve_ms);
// What the start found wrong that the reader must be told once the screen is up (a data folder
// that cannot be written); "" when nothing.
std::string plat_start_notice();

// Device facts and services the desktop answers with "not known" or "nothing".
int plat_battery();
int plat_charging();
void plat_light(int level);
int plat_run(const char* cmd, int secs);
int plat_thread(void* (*fn)(void*), void* arg);

// 16-bit PCM output, and decoding through FFmpeg (AAC in MP4 or ADTS, and Ogg Vorbis), used
// from the audio engine thread. SDL and FFmpeg are loaded by the first open that needs them; an
// open fails when they are missing.
int plat_audio_open(int hz, int channels);
int plat_audio_write(const int16_t* frames, int count);
// Waits up to timeout_ms for everything written to be played; 1 when it has been.
int plat_audio_drain(int timeout_ms);
void plat_audio_close();
int plat_ffaudio_open(const char* path, int* hz, int* channels, double* seconds);
int plat_ffaudio_read(int16_t* buf, int frames, int channels);
int plat_ffaudio_seek(double seconds);
void plat_ffaudio_close();

// HTTPS JSON POST through /usr/bin/curl; the HTTP status, 0 on failure.
int plat_post(const char* url, const char* body, size_t length);
