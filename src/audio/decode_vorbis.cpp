// Ogg Vorbis through stb_vorbis, which also mixes more than two channels down.
#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <algorithm>

#include "audio/audio_decoder.h"

namespace {
stb_vorbis* vf = nullptr;
uint32_t v_rate = 0;
unsigned v_total = 0;

void vorbis_close() {
  if (vf) stb_vorbis_close(vf);
  vf = nullptr;
  v_rate = 0;
  v_total = 0;
}

bool vorbis_open(const char* path, AudioInfo* info, ChapterTable* chapters) {
  vorbis_close();
  int err = 0;
  vf = stb_vorbis_open_filename(path, &err, nullptr);
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
