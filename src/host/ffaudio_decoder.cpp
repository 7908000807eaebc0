// AAC decoding (MP4/M4A/M4B and ADTS), and Ogg Vorbis, through FFmpeg: one file at a time,
// down-mixed to mono or stereo 16-bit by libswresample at the rate and channel count seen at
// open. A stream may change its layout, sample format or rate from one frame to the next (ADTS
// headers are per frame); the converter is then set up again for the new input. Seeks are
// exact: the reader goes back a little before the target, then decodes and drops up to the
// target sample. The libraries are loaded at the first open.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "host/ffmpeg_calls.h"
#include "host/plat.h"

namespace {
constexpr int kMinRate = 4000;
constexpr double kSeekPreroll = 0.2;  // seconds decoded before a seek target

struct FfAudioReader {
  AVFormatContext* fmt = nullptr;
  AVCodecContext* dec = nullptr;
  SwrContext* swr = nullptr;
  AVChannelLayout swr_in_layout{};  // what swr is set up to take
  int swr_in_format = -1;
  int swr_in_rate = 0;
  AVPacket* pkt = nullptr;
  AVFrame* frame = nullptr;
  int stream = -1;
  int rate = 0;
  int channels = 0;  // 1 or 2, what reads deliver
  AVRational tb{1, 1};
  std::vector<int16_t> pending;  // converted frames not yet handed out
  size_t pending_at = 0;         // in samples
  int64_t next_sample = 0;       // sample index of the next frame decoded when pts is missing
  int64_t drop_until = 0;        // samples before this index are discarded (after a seek)
  bool draining = false;
  bool ended = false;

  ~FfAudioReader() {
    ffmpeg.av_frame_free(&frame);
    ffmpeg.av_packet_free(&pkt);
    ffmpeg.swr_free(&swr);
    ffmpeg.av_channel_layout_uninit(&swr_in_layout);
    ffmpeg.avcodec_free_context(&dec);
    ffmpeg.avformat_close_input(&fmt);
  }
};
std::unique_ptr<FfAudioReader> current;  // the open file

// A fresh decoder: after a seek it must start exactly as it does at the head of the stream
// (a flushed one keeps some state, which changes the first frame it gives).
bool open_codec(FfAudioReader& r) {
  ffmpeg.avcodec_free_context(&r.dec);
  const AVStream* st = r.fmt->streams[r.stream];
  const AVCodec* codec = ffmpeg.avcodec_find_decoder(st->codecpar->codec_id);
  r.dec = codec ? ffmpeg.avcodec_alloc_context3(codec) : nullptr;
  if (!r.dec || ffmpeg.avcodec_parameters_to_context(r.dec, st->codecpar) < 0) return false;
  r.dec->thread_count = 1;
  r.dec->pkt_timebase = st->time_base;
  return ffmpeg.avcodec_open2(r.dec, codec, nullptr) >= 0;
}

// Sets the converter up for input of this layout, format and rate (output stays as at open).
bool setup_converter(FfAudioReader& r, const AVChannelLayout& layout, int format, int rate) {
  ffmpeg.swr_free(&r.swr);
  ffmpeg.av_channel_layout_uninit(&r.swr_in_layout);
  r.swr_in_format = -1;
  if (layout.nb_channels <= 0 || format < 0 || rate < kMinRate) return false;
  if (ffmpeg.av_channel_layout_copy(&r.swr_in_layout, &layout) < 0) return false;
  AVChannelLayout out;
  ffmpeg.av_channel_layout_default(&out, r.channels);
  int err = ffmpeg.swr_alloc_set_opts2(&r.swr, &out, AV_SAMPLE_FMT_S16, r.rate, &r.swr_in_layout,
                                static_cast<AVSampleFormat>(format), rate, 0, nullptr);
  if (err < 0 || ffmpeg.swr_init(r.swr) < 0) return false;
  r.swr_in_format = format;
  r.swr_in_rate = rate;
  return true;
}

bool open_reader(FfAudioReader& r, const char* path) {
  ffmpeg.av_log_set_level(AV_LOG_FATAL);
  if (ffmpeg.avformat_open_input(&r.fmt, path, nullptr, nullptr) < 0) return false;
  if (ffmpeg.avformat_find_stream_info(r.fmt, nullptr) < 0) return false;
  const AVCodec* codec = nullptr;
  r.stream = ffmpeg.av_find_best_stream(r.fmt, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (r.stream < 0 || !codec) return false;
  AVStream* st = r.fmt->streams[r.stream];
  if (!open_codec(r)) return false;
  r.rate = r.dec->sample_rate;
  int file_channels = r.dec->ch_layout.nb_channels;
  if (r.rate < kMinRate || file_channels <= 0) return false;
  r.channels = file_channels < 2 ? 1 : 2;
  r.tb = st->time_base;
  if (!setup_converter(r, r.dec->ch_layout, r.dec->sample_fmt, r.rate)) return false;
  r.pkt = ffmpeg.av_packet_alloc();
  r.frame = ffmpeg.av_frame_alloc();
  return r.pkt && r.frame;
}

double duration_of(const FfAudioReader& r) {
  const AVStream* st = r.fmt->streams[r.stream];
  if (st->duration != AV_NOPTS_VALUE && st->duration > 0) return st->duration * av_q2d(r.tb);
  if (r.fmt->duration != AV_NOPTS_VALUE && r.fmt->duration > 0)
    return static_cast<double>(r.fmt->duration) / AV_TIME_BASE;
  return 0;
}

// Converts the decoded frame into `pending`, dropping what lies before drop_until.
bool take_frame(FfAudioReader& r) {
  int64_t first = r.next_sample;
  if (r.frame->pts != AV_NOPTS_VALUE)
    first = ffmpeg.av_rescale_q(r.frame->pts, r.tb, AVRational{1, r.rate});
  int n = r.frame->nb_samples;
  r.next_sample = first + n;
  const AVFrame& f = *r.frame;
  if ((f.format != r.swr_in_format || f.sample_rate != r.swr_in_rate ||
       ffmpeg.av_channel_layout_compare(&f.ch_layout, &r.swr_in_layout) != 0) &&
      !setup_converter(r, f.ch_layout, f.format, f.sample_rate))
    return false;
  int cap = ffmpeg.swr_get_out_samples(r.swr, n);
  if (cap < 0) return false;
  r.pending.resize(static_cast<size_t>(cap) * r.channels);
  uint8_t* out = reinterpret_cast<uint8_t*>(r.pending.data());
  int got = ffmpeg.swr_convert(r.swr, &out, cap,
                               const_cast<const uint8_t**>(r.frame->extended_data), n);
  if (got < 0) return false;
  r.pending.resize(static_cast<size_t>(got) * r.channels);
  int64_t skip = std::clamp<int64_t>(r.drop_until - first, 0, got);
  r.pending_at = static_cast<size_t>(skip) * r.channels;
  return true;
}

// Decodes until `pending` holds frames; false at the end of the stream or on an error.
bool decode_more(FfAudioReader& r) {
  while (!r.ended) {
    int ret = ffmpeg.avcodec_receive_frame(r.dec, r.frame);
    if (ret == 0) {
      bool ok = take_frame(r);
      ffmpeg.av_frame_unref(r.frame);
      if (!ok) break;
      if (r.pending_at < r.pending.size()) return true;
      continue;
    }
    if (ret != AVERROR(EAGAIN) || r.draining) break;
    ret = ffmpeg.av_read_frame(r.fmt, r.pkt);
    if (ret < 0) {
      r.draining = true;
      ffmpeg.avcodec_send_packet(r.dec, nullptr);
      continue;
    }
    if (r.pkt->stream_index == r.stream) {
      ret = ffmpeg.avcodec_send_packet(r.dec, r.pkt);
      // A damaged packet is skipped; the stream goes on.
      if (ret < 0 && ret != AVERROR(EAGAIN) && ret != AVERROR_INVALIDDATA) {
        ffmpeg.av_packet_unref(r.pkt);
        break;
      }
    }
    ffmpeg.av_packet_unref(r.pkt);
  }
  r.ended = true;
  return false;
}
}  // namespace

int plat_ffaudio_open(const char* path, int* hz, int* channels, double* seconds) {
  plat_ffaudio_close();
  if (!ffmpeg_load()) return 0;
  auto r = std::make_unique<FfAudioReader>();
  if (!open_reader(*r, path)) return 0;
  *hz = r->rate;
  *channels = r->channels;
  *seconds = duration_of(*r);
  current = std::move(r);
  return 1;
}

int plat_ffaudio_read(int16_t* buf, int frames, int channels) {
  if (!current || channels != current->channels || frames <= 0) return 0;
  int done = 0;
  while (done < frames) {
    if (current->pending_at >= current->pending.size() && !decode_more(*current)) break;
    size_t avail = (current->pending.size() - current->pending_at) / channels;
    size_t n = std::min(avail, static_cast<size_t>(frames - done));
    memcpy(buf + static_cast<size_t>(done) * channels, current->pending.data() + current->pending_at,
           n * channels * sizeof(int16_t));
    current->pending_at += n * channels;
    done += static_cast<int>(n);
  }
  return done;
}

int plat_ffaudio_seek(double seconds) {
  if (!current) return 0;
  FfAudioReader& r = *current;
  // Capped so that a far-off target (asked for when the length is unknown) stays an integer;
  // the read then simply finds the end.
  double at = seconds * r.rate;
  int64_t target = at > 0 ? static_cast<int64_t>(std::min(at, 1e18)) : 0;
  // Going back before the first packet keeps an MP4's priming packet, which the decoder needs.
  int64_t from = target - static_cast<int64_t>(kSeekPreroll * r.rate);
  int64_t ts = ffmpeg.av_rescale_q(from, AVRational{1, r.rate}, r.tb);
  int ret = ffmpeg.av_seek_frame(r.fmt, r.stream, ts, AVSEEK_FLAG_BACKWARD);
  r.next_sample = target;
  if (ret < 0) {
    // Start over from the first byte and decode up to the target.
    ret = ffmpeg.av_seek_frame(r.fmt, r.stream, 0, AVSEEK_FLAG_BYTE);
    r.next_sample = 0;
  }
  if (!open_codec(r)) {
    r.ended = true;
    return -1;
  }
  r.pending.clear();
  r.pending_at = 0;
  r.draining = false;
  r.ended = false;
  r.drop_until = target;
  return ret < 0 ? ret : 0;
}

void plat_ffaudio_close() { current.reset(); }
