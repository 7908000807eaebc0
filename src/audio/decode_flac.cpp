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
FlacState F;


FLAC__StreamDecoderWriteStatus on_write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                        const FLAC__int32* const buffer[], void*) {
  unsigned n = frame->header.blocksize;
  unsigned ch = frame->header.channels;
  if (ch != F.channels || frame->header.bits_per_sample != F.bits) {
    F.failed = true;  // a stream that changes its layout midway is not supported
    return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  }
  F.pending.resize(static_cast<size_t>(n) * ch);
  // One channel at a time with the width's shift fixed, so the loops vectorise.
  int16_t* out = F.pending.data();
  for (unsigned c = 0; c < ch; c++) {
    const FLAC__int32* in = buffer[c];
    if (F.bits >= 16) {
      const unsigned down = F.bits - 16;
      for (unsigned i = 0; i < n; i++) out[i * ch + c] = static_cast<int16_t>(in[i] >> down);
    } else {
      const int up = 1 << (16 - F.bits);
      for (unsigned i = 0; i < n; i++) out[i * ch + c] = static_cast<int16_t>(in[i] * up);
    }
  }
  F.pending_at = 0;
  return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void flac_meta(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* m, void*) {
  if (m->type == FLAC__METADATA_TYPE_STREAMINFO) {
    F.rate = m->data.stream_info.sample_rate;
    F.channels = m->data.stream_info.channels;
    F.bits = m->data.stream_info.bits_per_sample;
    F.total = m->data.stream_info.total_samples;
  } else if (m->type == FLAC__METADATA_TYPE_VORBIS_COMMENT && F.slots) {
    const auto& vc = m->data.vorbis_comment;
    for (FLAC__uint32 i = 0; i < vc.num_comments; i++)
      vc_comment(*F.slots, std::string_view(reinterpret_cast<const char*>(vc.comments[i].entry),
                                            vc.comments[i].length));
  }
}

void on_error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

void flac_close() {
  if (F.dec) FLAC__stream_decoder_finish(F.dec.get());
  F = FlacState{};
}

bool flac_open(const char* path, AudioInfo* info, ChapterTable* chapters) {
  flac_close();
  F.dec.reset(FLAC__stream_decoder_new());
  if (!F.dec) return false;
  FLAC__StreamDecoder* d = F.dec.get();
  FLAC__stream_decoder_set_metadata_respond(d, FLAC__METADATA_TYPE_VORBIS_COMMENT);
  if (FLAC__stream_decoder_init_file(d, path, on_write, flac_meta, on_error, nullptr) !=
      FLAC__STREAM_DECODER_INIT_STATUS_OK)
    return false;
  CommentSlots slots;
  F.slots = &slots;
  bool ok = FLAC__stream_decoder_process_until_end_of_metadata(d);
  F.slots = nullptr;
  if (!ok || F.rate == 0 || F.channels == 0 || F.bits < 4 || F.bits > 32) return false;
  if (chapters) vc_finish(slots, *chapters);
  info->rate = F.rate;
  info->channels = std::min(F.channels, 2u);
  info->duration = static_cast<double>(F.total) / F.rate;
  return true;
}

int flac_read(int16_t* buf, int frames, int channels) {
  if (!F.dec || F.channels > kMaxChannels || channels < 1 || F.at_end) return 0;
  int done = 0;
  int idle = 0;  // decoder calls that brought no audio; damaged input must not spin for ever
  while (done < frames && !F.failed && idle < 64) {
    if (F.pending_at >= F.pending.size()) {
      F.pending.clear();
      F.pending_at = 0;
      if (!FLAC__stream_decoder_process_single(F.dec.get())) break;
      if (F.pending.empty()) {
        auto state = FLAC__stream_decoder_get_state(F.dec.get());
        if (state == FLAC__STREAM_DECODER_END_OF_STREAM || state > FLAC__STREAM_DECODER_READ_FRAME)
          break;
        idle++;
        continue;
      }
    }
    idle = 0;
    size_t avail = (F.pending.size() - F.pending_at) / F.channels;
    int n = static_cast<int>(std::min<size_t>(avail, static_cast<size_t>(frames - done)));
    const int16_t* src = F.pending.data() + F.pending_at;
    if (static_cast<unsigned>(channels) == F.channels) {
      std::copy_n(src, static_cast<size_t>(n) * F.channels, buf + static_cast<size_t>(done) * channels);
    } else {
      for (int i = 0; i < n; i++)
        for (int c = 0; c < channels; c++)
          buf[(done + i) * channels + c] =
              src[i * F.channels + std::min<unsigned>(c, F.channels - 1)];
    }
    F.pending_at += static_cast<size_t>(n) * F.channels;
    done += n;
  }
  return done;
}

bool flac_seek(double seconds) {
  if (!F.dec) return false;
  uint64_t frame = seek_frame(seconds, F.rate);
  F.pending.clear();
  F.pending_at = 0;
  // libFLAC refuses a target at or past the last sample, and its later seeks failed too; the
  // end of a stream of known length is a place of its own.
  F.at_end = F.total && frame >= F.total;
  if (F.at_end) return true;
  // libFLAC hands the frame that holds the target to on_write starting at the target itself.
  if (FLAC__stream_decoder_seek_absolute(F.dec.get(), frame)) return true;
  if (FLAC__stream_decoder_get_state(F.dec.get()) == FLAC__STREAM_DECODER_SEEK_ERROR)
    FLAC__stream_decoder_flush(F.dec.get());
  F.pending.clear();
  return false;
}
}  // namespace

const DecoderOps DEC_FLAC = {"flac", flac_open, flac_read, flac_seek, flac_close};
