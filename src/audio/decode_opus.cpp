// Opus in Ogg: FFmpeg's Opus decoder (a third faster than libopus here, which matters on a
// device) over our own page and packet reader (ogg_pages), always at 48 kHz. We keep the
// granule of the next decoded sample, so pre-skip, seeks and the end of the stream are all cut
// at the exact sample; libopus only tells packet durations while seeking.
#include <opus/opus.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/ogg_pages.h"
#include "base/byte_reader.h"
#include "base/paths.h"
#include "host/ffmpeg_calls.h"

namespace {
constexpr int kRate = 48000;
constexpr int kMaxPacketFrames = 5760;   // 120 ms
constexpr int kPreroll = 3840;           // 80 ms decoded and dropped before a seek target
constexpr uint64_t kBisectWindow = 8192;  // bisection stops when the range is this small
constexpr int kMaxSkippedPages = 64;
constexpr uint64_t kTailScan = 70000;
constexpr int kBisectSteps = 39;

struct OpusState {
  FilePtr of;
  OggReader ogg;
  uint64_t o_size = 0;
  int o_ch = 0;
  int o_pre = 0;
  uint64_t o_first = 0;
  AVCodecContext* od = nullptr;  // applies the header's output gain itself
  AVPacket* av_pkt = nullptr;
  AVFrame* av_frame = nullptr;
  std::vector<uint8_t> padded;  // the packet with the zeroed tail FFmpeg's readers may touch
  int16_t o_pcm[kMaxPacketFrames * 2] = {};
  int o_rem = 0;
  int o_at = 0;
  int64_t o_drop = 0;
  int64_t o_pos = 0;        // granule of the next sample the decoder gives

  // Made only once FFmpeg is loaded.
  ~OpusState() {
    ffmpeg.av_frame_free(&av_frame);
    ffmpeg.av_packet_free(&av_pkt);
    ffmpeg.avcodec_free_context(&od);
  }
};
std::unique_ptr<OpusState> opus;  // the open part

void opus_close_file() { opus.reset(); }

// The granule of the last page near the end of the file: the stream's length plus pre-skip.
int64_t last_granule() {
  uint64_t from = opus->o_size > kTailScan ? opus->o_size - kTailScan : 0;
  from = std::max(from, opus->o_first);
  int64_t last = -1;
  if (!opus->ogg.resync(from)) return last;
  opus->ogg.nseg = 0;
  int skipped = 0;
  while (skipped <= kMaxSkippedPages && opus->ogg.next_page()) {
    if (!opus->ogg.skip_page_body()) break;
    if (opus->ogg.gran == -1) {
      skipped++;
    } else {
      last = opus->ogg.gran;
      skipped = 0;
    }
  }
  return last;
}

// A decoder for the stream whose "OpusHead" packet is `head`.
bool open_decoder(const uint8_t* head, size_t len) {
  const AVCodec* codec = ffmpeg.avcodec_find_decoder(AV_CODEC_ID_OPUS);
  opus->od = codec ? ffmpeg.avcodec_alloc_context3(codec) : nullptr;
  if (!opus->od) return false;
  opus->od->extradata = static_cast<uint8_t*>(ffmpeg.av_mallocz(len + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!opus->od->extradata) return false;
  memcpy(opus->od->extradata, head, len);
  opus->od->extradata_size = static_cast<int>(len);
  opus->od->sample_rate = kRate;
  ffmpeg.av_channel_layout_default(&opus->od->ch_layout, opus->o_ch);
  opus->od->thread_count = 1;
  // Pre-skip and seek pre-roll are cut here by granule; FFmpeg must not drop samples itself.
  opus->od->flags2 |= AV_CODEC_FLAG2_SKIP_MANUAL;
  ffmpeg.av_log_set_level(AV_LOG_FATAL);
  opus->av_pkt = ffmpeg.av_packet_alloc();
  opus->av_frame = ffmpeg.av_frame_alloc();
  return opus->av_pkt && opus->av_frame && ffmpeg.avcodec_open2(opus->od, codec, nullptr) >= 0;
}

// Rounds to the nearest 16-bit value, ties to even, as FFmpeg's own conversion (lrintf) does:
// adding 1.5 * 2^23 leaves the rounded integer in the low mantissa bits. Written without a
// library call so that the loop vectorises; the decoder spends a fifth of its time here else.
inline int16_t to_s16(float sample) {
  constexpr float kMagic = 12582912.0f;
  float v = std::clamp(sample * 32768.0f, -32768.0f, 32767.0f) + kMagic;
  int32_t bits;
  memcpy(&bits, &v, sizeof bits);
  return static_cast<int16_t>(bits - 0x4B400000);
}

// Decodes the current packet into o_pcm; the frames it gave, 0 for a damaged packet.
int decode_packet() {
  const auto packet = opus->ogg.pkt.begin();
  opus->padded.assign(packet, packet + static_cast<ptrdiff_t>(opus->ogg.plen));
  opus->padded.resize(opus->ogg.plen + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  opus->av_pkt->data = opus->padded.data();
  opus->av_pkt->size = static_cast<int>(opus->ogg.plen);
  if (ffmpeg.avcodec_send_packet(opus->od, opus->av_pkt) < 0) return 0;
  const AVFrame* f = opus->av_frame;
  if (ffmpeg.avcodec_receive_frame(opus->od, opus->av_frame) < 0) return 0;
  int n = std::min(f->nb_samples, kMaxPacketFrames);
  const bool planar = f->format == AV_SAMPLE_FMT_FLTP;
  if ((!planar && f->format != AV_SAMPLE_FMT_FLT) || f->ch_layout.nb_channels != opus->o_ch) n = 0;
  for (int c = 0; c < opus->o_ch && n > 0; c++) {
    const float* in = reinterpret_cast<const float*>(f->extended_data[planar ? c : 0]);
    const int step = planar ? 1 : opus->o_ch;
    if (!planar) in += c;
    for (int i = 0; i < n; i++) opus->o_pcm[i * opus->o_ch + c] = to_s16(in[i * step]);
  }
  ffmpeg.av_frame_unref(opus->av_frame);
  return n;
}

void restart_decoder() {
  ffmpeg.avcodec_flush_buffers(opus->od);
  opus->o_rem = 0;
  opus->o_at = 0;
}

bool opus_open_file(const char* path, AudioInfo* info, ChapterTable* chapters) {
  opus_close_file();
  if (!ffmpeg_load()) return false;
  opus = std::make_unique<OpusState>();
  opus->of.reset(fopen(path, "rb"));
  if (!opus->of) return false;
  opus->ogg.f = opus->of.get();
  if (fseeko(opus->of.get(), 0, SEEK_END) != 0) return false;
  opus->o_size = opus->ogg.tell();
  opus->ogg.seek_to(0);
  if (!opus->ogg.next_packet() || opus->ogg.plen < 19 ||
      memcmp(opus->ogg.pkt.data(), "OpusHead", 8) != 0)
    return false;
  const ByteReader head(opus->ogg.pkt.data(), opus->ogg.plen);
  opus->o_ch = head.u8_at(9);
  if ((opus->o_ch != 1 && opus->o_ch != 2) || head.u8_at(18) != 0) {  // channel mapping family 0 only
    fputs("qlaudio: Opus with more than two channels\n", stderr);
    return false;
  }
  opus->o_pre = head.u16le_at(10);
  if (!open_decoder(head.data(), head.size())) return false;
  if (!opus->ogg.next_packet()) return false;
  // The page reader hands a packet over its size limit (1 MiB) over as empty: tags that large
  // (a big cover picture) are skipped, chapters with them, and the file still plays.
  const bool tags_skipped = opus->ogg.plen == 0;
  if (!tags_skipped && (opus->ogg.plen < 8 || memcmp(opus->ogg.pkt.data(), "OpusTags", 8) != 0))
    return false;
  if (chapters && !tags_skipped) {
    CommentSlots slots;
    vc_block(slots, std::span<const uint8_t>(opus->ogg.pkt.data(), opus->ogg.plen));
    vc_finish(slots, *chapters);
  }
  // The tags end a page, so the audio packets begin at the next page.
  opus->o_first = opus->ogg.tell();
  int64_t last = last_granule();
  info->rate = kRate;
  info->channels = static_cast<uint32_t>(opus->o_ch);
  info->duration = last > opus->o_pre ? static_cast<double>(last - opus->o_pre) / kRate : 0;
  opus->ogg.seek_to(opus->o_first);
  opus->ogg.nseg = opus->ogg.si = 0;
  opus->o_pos = 0;
  opus->o_drop = opus->o_pre;
  return true;
}

int opus_read(int16_t* buf, int frames, int channels) {
  if (!opus || !opus->od || channels < 1) return 0;
  int done = 0;
  while (done < frames && !audio_stop_requested()) {
    if (opus->o_rem > 0) {
      int n = std::min(opus->o_rem, frames - done);
      const int16_t* src = opus->o_pcm + opus->o_at * opus->o_ch;
      if (channels == opus->o_ch) {
        memcpy(buf + done * channels, src, static_cast<size_t>(n) * channels * sizeof(int16_t));
      } else {
        for (int i = 0; i < n; i++)
          for (int c = 0; c < channels; c++)
            buf[(done + i) * channels + c] = src[i * opus->o_ch + std::min(c, opus->o_ch - 1)];
      }
      opus->o_at += n;
      opus->o_rem -= n;
      done += n;
      continue;
    }
    if (!opus->ogg.next_packet()) break;
    if (opus->ogg.plen == 0) continue;
    int n = decode_packet();
    if (n <= 0) continue;
    int64_t start = opus->o_pos;
    opus->o_pos += n;
    // The last page's granule marks where the stream's audio ends.
    if ((opus->ogg.flags & 4) && opus->ogg.gran >= 0 && opus->o_pos > opus->ogg.gran)
      n = static_cast<int>(std::clamp<int64_t>(opus->ogg.gran - start, 0, n));
    opus->o_at = 0;
    opus->o_rem = n;
    if (opus->o_drop > 0) {
      int d = static_cast<int>(std::min<int64_t>(opus->o_drop, n));
      opus->o_at = d;
      opus->o_rem -= d;
      opus->o_drop -= d;
    }
  }
  return done;
}

// For the page just read: the granule at which its first packet that begins on it starts,
// and leaves the reader before that packet. -1 when no packet both begins and is timed here.
int64_t first_packet_granule() {
  if (opus->ogg.gran < 0) return -1;
  uint64_t body = opus->ogg.tell();
  auto fail = [&] {
    opus->ogg.seek_to(body);
    return int64_t{-1};
  };
  int i = 0;
  uint64_t skip = 0;
  if (opus->ogg.flags & 1) {  // the page opens with the tail of an earlier packet
    while (i < opus->ogg.nseg && opus->ogg.seg[i] == 255) skip += opus->ogg.seg[i++];
    if (i >= opus->ogg.nseg) return fail();
    skip += opus->ogg.seg[i++];
  }
  int first_seg = i;
  uint64_t at = body + skip;
  int64_t samples = 0;
  uint64_t len = 0;
  for (; i < opus->ogg.nseg; i++) {
    len += opus->ogg.seg[i];
    if (opus->ogg.seg[i] == 255) continue;
    if (len > 0) {
      uint8_t toc[2] = {};
      size_t want = std::min<uint64_t>(len, 2);
      if (!opus->ogg.seek_to(at) || fread(toc, 1, want, opus->of.get()) != want) return fail();
      int n = opus_packet_get_nb_samples(toc, static_cast<opus_int32>(want), kRate);
      if (n < 0) return fail();
      samples += n;
    }
    at += len;
    len = 0;
  }
  if (!opus->ogg.seek_to(body + skip)) return fail();
  opus->ogg.si = first_seg;
  return opus->ogg.gran - samples;
}

// The granule of the next timed page after byte `at`, or -1.
int64_t next_granule(uint64_t at) {
  if (!opus->ogg.resync(at)) return -1;
  for (int i = 0; i < kMaxSkippedPages; i++) {
    if (!opus->ogg.next_page()) return -1;
    if (opus->ogg.gran != -1) return opus->ogg.gran;
    if (!opus->ogg.skip_page_body()) return -1;
  }
  return -1;
}

bool start_from_beginning(int64_t target) {
  opus->ogg.nseg = opus->ogg.si = 0;
  opus->o_pos = 0;
  opus->o_drop = target;
  return opus->ogg.seek_to(opus->o_first);
}

bool opus_seek(double seconds) {
  if (!opus || !opus->od) return false;
  restart_decoder();
  int64_t target = opus->o_pre + static_cast<int64_t>(seek_frame(seconds, kRate));
  int64_t want = target - kPreroll;  // where decoding should begin at the latest
  if (want <= opus->o_pre) return start_from_beginning(target);
  uint64_t lo = opus->o_first, hi = opus->o_size;
  for (int step = 0; step < kBisectSteps && hi - lo > kBisectWindow; step++) {
    uint64_t mid = lo + (hi - lo) / 2;
    int64_t g = next_granule(mid);
    if (g != -1 && g < want) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  // Walk the pages after lo to the last one whose first packet starts at or before `want`.
  uint64_t best_page = 0;
  int64_t best = -1;
  if (opus->ogg.resync(lo)) {
    opus->ogg.nseg = 0;
    while (opus->ogg.next_page()) {
      uint64_t page = opus->ogg.page_at;
      int64_t g = first_packet_granule();
      if (g >= 0 && g > want) break;
      if (g >= 0) {
        best = g;
        best_page = page;
      }
      if (!opus->ogg.skip_page_body()) break;
    }
  }
  if (best < 0) return start_from_beginning(target);
  if (!opus->ogg.seek_to(best_page) || !opus->ogg.next_page() || first_packet_granule() != best)
    return start_from_beginning(target);
  opus->o_pos = best;
  opus->o_drop = target - best;
  return true;
}
}  // namespace

const DecoderOps DEC_OPUS = {"opus", opus_open_file, opus_read, opus_seek, opus_close_file};
