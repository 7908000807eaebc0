// FLAC through libFLAC's stream decoder: samples of any width become 16-bit, the Vorbis comment
// block is read for chapters, and seeks land on the exact sample.
#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "audio/audio_decoder.h"

namespace {
constexpr unsigned kMaxChannels = 8;

struct DecoderDeleter {
  void operator()(FLAC__StreamDecoder* d) const { FLAC__stream_decoder_delete(d); }
};

struct FlacState {
  std::unique_ptr<FLAC__StreamDecoder, DecoderDeleter> dec;
  unsigned channels = 0;
  unsigned bits = 0;
  uint32_t rate = 0;
  uint64_t total = 0;
  std::vector<int16_t> pending;  // the last decoded FLAC frame, interleaved
  size_t pending_at = 0;         // samples of it already handed out
  CommentSlots* slots = nullptr;
  bool failed = false;
  bool at_end = false;  // a seek to the end or past it: reads give nothing until the next seek
};
FlacState flac;  // the open part


FLAC__StreamDecoderWriteStatus on_write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                        const FLAC__int32* const buffer[], void*) {
  unsigned n = frame->header.blocksize;
  unsigned ch = frame->header.channels;
  if (ch != flac.channels || frame->header.bits_per_sample != flac.bits) {
    flac.failed = true;  // a stream that changes its layout midway is not supported
    return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  }
  flac.pending.resize(static_cast<size_t>(n) * ch);
  // One channel at a time with the width's shift fixed, so the loops vectorise.
  int16_t* out = flac.pending.data();
  for (unsigned c = 0; c < ch; c++) {
    const FLAC__int32* in = buffer[c];
    if (flac.bits >= 16) {
      const unsigned down = flac.bits - 16;
      for (unsigned i = 0; i < n; i++) out[i * ch + c] = static_cast<int16_t>(in[i] >> down);
    } else {
      const int up = 1 << (16 - flac.bits);
      for (unsigned i = 0; i < n; i++) out[i * ch + c] = static_cast<int16_t>(in[i] * up);
    }
  }
  flac.pending_at = 0;
  return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void flac_meta(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* m, void*) {
  if (m->type == FLAC__METADATA_TYPE_STREAMINFO) {
    flac.rate = m->data.stream_info.sample_rate;
    flac.channels = m->data.stream_info.channels;
    flac.bits = m->data.stream_info.bits_per_sample;
    flac.total = m->data.stream_info.total_samples;
  } else if (m->type == FLAC__METADATA_TYPE_VORBIS_COMMENT && flac.slots) {
    const auto& vc = m->data.vorbis_comment;
    for (FLAC__uint32 i = 0; i < vc.num_comments; i++)
      vc_comment(*flac.slots, std::string_view(reinterpret_cast<const char*>(vc.comments[i].entry),
                                            vc.comments[i].length));
  }
}

void on_error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

void flac_close() {
  if (flac.dec) FLAC__stream_decoder_finish(flac.dec.get());
  flac = FlacState{};
}

bool flac_open(const char* path, AudioInfo* info, ChapterTable* chapters) {
  flac_close();
  flac.dec.reset(FLAC__stream_decoder_new());
  if (!flac.dec) return false;
  FLAC__StreamDecoder* d = flac.dec.get();
  FLAC__stream_decoder_set_metadata_respond(d, FLAC__METADATA_TYPE_VORBIS_COMMENT);
  if (FLAC__stream_decoder_init_file(d, path, on_write, flac_meta, on_error, nullptr) !=
      FLAC__STREAM_DECODER_INIT_STATUS_OK)
    return false;
  CommentSlots slots;
  flac.slots = &slots;
  bool ok = FLAC__stream_decoder_process_until_end_of_metadata(d);
  flac.slots = nullptr;
  if (!ok || flac.rate == 0 || flac.channels == 0 || flac.bits < 4 || flac.bits > 32) return false;
  if (chapters) vc_finish(slots, *chapters);
  info->rate = flac.rate;
  info->channels = std::min(flac.channels, 2u);
  info->duration = static_cast<double>(flac.total) / flac.rate;
  return true;
}

int flac_read(int16_t* buf, int frames, int channels) {
  if (!flac.dec || flac.channels > kMaxChannels || channels < 1 || flac.at_end) return 0;
  int done = 0;
  int idle = 0;  // decoder calls that brought no audio; damaged input must not spin for ever
  while (done < frames && !flac.failed && idle < 64) {
    if (flac.pending_at >= flac.pending.size()) {
      flac.pending.clear();
      flac.pending_at = 0;
      if (!FLAC__stream_decoder_process_single(flac.dec.get())) break;
      if (flac.pending.empty()) {
        auto state = FLAC__stream_decoder_get_state(flac.dec.get());
        if (state == FLAC__STREAM_DECODER_END_OF_STREAM || state > FLAC__STREAM_DECODER_READ_FRAME)
          break;
        idle++;
        continue;
      }
    }
    idle = 0;
    size_t avail = (flac.pending.size() - flac.pending_at) / flac.channels;
    int n = static_cast<int>(std::min<size_t>(avail, static_cast<size_t>(frames - done)));
    const int16_t* src = flac.pending.data() + flac.pending_at;
    if (static_cast<unsigned>(channels) == flac.channels) {
      std::copy_n(src, static_cast<size_t>(n) * flac.channels,
                  buf + static_cast<size_t>(done) * channels);
    } else {
      for (int i = 0; i < n; i++)
        for (int c = 0; c < channels; c++)
          buf[(done + i) * channels + c] =
              src[i * flac.channels + std::min<unsigned>(c, flac.channels - 1)];
    }
    flac.pending_at += static_cast<size_t>(n) * flac.channels;
    done += n;
  }
  return done;
}

bool flac_seek(double seconds) {
  if (!flac.dec) return false;
  uint64_t frame = seek_frame(seconds, flac.rate);
  flac.pending.clear();
  flac.pending_at = 0;
  // libFLAC refuses a target at or past the last sample, and its later seeks failed too; the
  // end of a stream of known length is a place of its own.
  flac.at_end = flac.total && frame >= flac.total;
  if (flac.at_end) return true;
  // libFLAC hands the frame that holds the target to on_write starting at the target itself.
  if (FLAC__stream_decoder_seek_absolute(flac.dec.get(), frame)) return true;
  if (FLAC__stream_decoder_get_state(flac.dec.get()) == FLAC__STREAM_DECODER_SEEK_ERROR)
    FLAC__stream_decoder_flush(flac.dec.get());
  flac.pending.clear();
  return false;
}
}  // namespace

const DecoderOps DEC_FLAC = {"flac", flac_open, flac_read, flac_seek, flac_close};
