// AAC in MP4/M4A/M4B or as a bare ADTS stream, decoded by the host; the chapters of an MP4
// file are read here first.
#include <cstring>

#include "audio/audio_decoder.h"
#include "base/paths.h"
#include "host/plat.h"

namespace {
bool sys_open(const char* path, AudioInfo* info, ChapterTable* chapters) {
  if (chapters) {
    FilePtr f(fopen(path, "rb"));
    uint8_t head[8];
    if (f && fread(head, 1, 8, f.get()) == 8 && memcmp(head + 4, "ftyp", 4) == 0)
      mp4_read_chapters(f.get(), *chapters);
  }
  int hz = 0, channels = 0;
  double seconds = 0;
  if (!plat_ffaudio_open(path, &hz, &channels, &seconds)) return false;
  if (hz <= 0 || channels <= 0) return false;
  info->rate = static_cast<uint32_t>(hz);
  info->channels = static_cast<uint32_t>(channels > 2 ? 2 : channels);
  info->duration = seconds > 0 ? seconds : 0;
  return true;
}

int sys_read(int16_t* buf, int frames, int channels) {
  int n = plat_ffaudio_read(buf, frames, channels);
  return n > 0 ? n : 0;
}

bool sys_seek(double seconds) { return plat_ffaudio_seek(seconds) == 0; }
}  // namespace

const DecoderOps DEC_MP4 = {"mp4", sys_open, sys_read, sys_seek, plat_ffaudio_close};
const DecoderOps DEC_ADTS = {"adts", sys_open, sys_read, sys_seek, plat_ffaudio_close};
