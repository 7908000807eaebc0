// Opus in Ogg: our own page and packet reader around libopus, always at 48 kHz. The reader
// keeps the granule of the next decoded sample, so pre-skip, seeks and the end of the stream
// are all cut at the exact sample.
#include <opus/opus.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/audio_decoder.h"
#include "display/paths.h"

namespace {
constexpr int kRate = 48000;
constexpr int kMaxPacketFrames = 5760;   // 120 ms
constexpr int kPreroll = 3840;           // 80 ms decoded and dropped before a seek target
constexpr size_t kMaxPacket = 1 << 20;   // far beyond any valid Opus packet
constexpr size_t kResyncWindow = 8192;
constexpr int kMaxSkippedPages = 64;
constexpr uint64_t kTailScan = 70000;
constexpr int kBisectSteps = 39;

struct OpusState {
  FilePtr of;
  uint64_t o_size = 0;
  bool o_have_serial = false;
  uint32_t o_serial = 0;
  uint8_t o_seg[255] = {};
  int o_nseg = 0;
  int o_si = 0;
  int64_t o_gran = -1;
  uint8_t o_flags = 0;      // header type of the current page
  uint64_t o_page_at = 0;   // file offset of the current page's header
  std::vector<uint8_t> o_pkt;
  size_t o_plen = 0;
  int o_ch = 0;
  int o_pre = 0;
  int o_gain = 0;           // output gain, Q7.8 dB
  uint64_t o_first = 0;
  OpusDecoder* od = nullptr;
  int16_t o_pcm[kMaxPacketFrames * 2] = {};
  int o_rem = 0;
  int o_at = 0;
  int64_t o_drop = 0;
  int64_t o_pos = 0;        // granule of the next sample the decoder gives
};
OpusState* S = nullptr;

uint32_t le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
int64_t le64(const uint8_t* p) {
  return static_cast<int64_t>(le32(p) | (uint64_t{le32(p + 4)} << 32));
}

bool seek_to(uint64_t at) { return fseeko(S->of.get(), static_cast<off_t>(at), SEEK_SET) == 0; }
uint64_t tell() { return static_cast<uint64_t>(ftello(S->of.get())); }

// Scans forward from `from` for "OggS" and leaves the file there; false at the end.
bool resync(uint64_t from) {
  uint8_t win[kResyncWindow];
  uint64_t at = from;
  for (;;) {
    if (!seek_to(at)) return false;
    size_t n = fread(win, 1, sizeof win, S->of.get());
    if (n < 4) return false;
    if (const void* hit = memmem(win, n, "OggS", 4)) {
      return seek_to(at + static_cast<uint64_t>(static_cast<const uint8_t*>(hit) - win));
    }
    at += n - 3;
  }
}

// Reads the next page of the locked stream and makes it current; false at the end.
bool ogg_page() {
  FILE* f = S->of.get();
  for (;;) {
    uint64_t at = tell();
    uint8_t h[27];
    if (fread(h, 1, 27, f) != 27) return false;
    if (memcmp(h, "OggS", 4) != 0) {
      if (!resync(at + 1)) return false;
      continue;
    }
    uint8_t seg[255];
    if (fread(seg, 1, h[26], f) != h[26]) return false;
    uint32_t serial = le32(h + 14);
    if (!S->o_have_serial) {
      S->o_have_serial = true;
      S->o_serial = serial;
    }
    if (serial != S->o_serial) {
      uint64_t body = 0;
      for (int i = 0; i < h[26]; i++) body += seg[i];
      if (!seek_to(tell() + body)) return false;
      continue;
    }
    memcpy(S->o_seg, seg, h[26]);
    S->o_nseg = h[26];
    S->o_si = 0;
    S->o_gran = le64(h + 6);
    S->o_flags = h[5];
    S->o_page_at = at;
    return true;
  }
}

// Moves past the current page's body (for pages read only for their header).
bool skip_page_body() {
  uint64_t body = 0;
  for (int i = S->o_si; i < S->o_nseg; i++) body += S->o_seg[i];
  S->o_si = S->o_nseg;
  return seek_to(tell() + body);
}

// Assembles the next packet into o_pkt / o_plen; false at the end of the stream.
bool ogg_packet() {
  S->o_plen = 0;
  bool too_big = false;
  for (;;) {
    if (S->o_si >= S->o_nseg) {
      if (!ogg_page()) return false;
      continue;
    }
    size_t lv = S->o_seg[S->o_si++];
    if (lv > 0) {
      if (S->o_plen + lv > kMaxPacket) too_big = true;
      if (too_big) {
        if (!seek_to(tell() + lv)) return false;
      } else {
        if (S->o_plen + lv > S->o_pkt.size()) S->o_pkt.resize(2 * (S->o_plen + lv) + 4096);
        if (fread(S->o_pkt.data() + S->o_plen, 1, lv, S->of.get()) != lv) return false;
        S->o_plen += lv;
      }
    }
    if (lv < 255) {
      if (too_big) S->o_plen = 0;
      return true;
    }
  }
}

void opus_close_file() {
  if (S && S->od) opus_decoder_destroy(S->od);
  delete S;
  S = nullptr;
}

// The granule of the last page near the end of the file: the stream's length plus pre-skip.
int64_t last_granule() {
  uint64_t from = S->o_size > kTailScan ? S->o_size - kTailScan : 0;
  from = std::max(from, S->o_first);
  int64_t last = -1;
  if (!resync(from)) return last;
  S->o_nseg = 0;
  int skipped = 0;
  while (skipped <= kMaxSkippedPages && ogg_page()) {
    if (!skip_page_body()) break;
    if (S->o_gran == -1) {
      skipped++;
    } else {
      last = S->o_gran;
      skipped = 0;
    }
  }
  return last;
}

void restart_decoder() {
  opus_decoder_ctl(S->od, OPUS_RESET_STATE);
  opus_decoder_ctl(S->od, OPUS_SET_GAIN(S->o_gain));
  S->o_rem = 0;
  S->o_at = 0;
}

bool opus_open_file(const char* path, AudioInfo* info, ChapterTable* chapters) {
  opus_close_file();
  S = new OpusState;
  S->of.reset(fopen(path, "rb"));
  if (!S->of) return false;
  if (fseeko(S->of.get(), 0, SEEK_END) != 0) return false;
  S->o_size = tell();
  seek_to(0);
  if (!ogg_packet() || S->o_plen < 19 || memcmp(S->o_pkt.data(), "OpusHead", 8) != 0)
    return false;
  const uint8_t* head = S->o_pkt.data();
  S->o_ch = head[9];
  if ((S->o_ch != 1 && S->o_ch != 2) || head[18] != 0) {
    fputs("qlaudio: Opus with more than two channels\n", stderr);
    return false;
  }
  S->o_pre = head[10] | (head[11] << 8);
  S->o_gain = static_cast<int16_t>(head[16] | (head[17] << 8));
  if (!ogg_packet() || S->o_plen < 8 || memcmp(S->o_pkt.data(), "OpusTags", 8) != 0)
    return false;
  if (chapters) {
    CommentSlots slots;
    vc_block(slots, std::span<const uint8_t>(S->o_pkt.data(), S->o_plen));
    vc_finish(slots, *chapters);
  }
  // The tags end a page, so the audio packets begin at the next page.
  S->o_first = tell();
  int err = 0;
  S->od = opus_decoder_create(kRate, S->o_ch, &err);
  if (!S->od || err != OPUS_OK) return false;
  opus_decoder_ctl(S->od, OPUS_SET_GAIN(S->o_gain));
  int64_t last = last_granule();
  info->rate = kRate;
  info->channels = static_cast<uint32_t>(S->o_ch);
  info->duration = last > S->o_pre ? static_cast<double>(last - S->o_pre) / kRate : 0;
  seek_to(S->o_first);
  S->o_nseg = S->o_si = 0;
  S->o_pos = 0;
  S->o_drop = S->o_pre;
  return true;
}

int opus_read(int16_t* buf, int frames, int channels) {
  if (!S || !S->od || channels < 1) return 0;
  int done = 0;
  while (done < frames && !audio_stop_requested()) {
    if (S->o_rem > 0) {
      int n = std::min(S->o_rem, frames - done);
      const int16_t* src = S->o_pcm + S->o_at * S->o_ch;
      for (int i = 0; i < n; i++)
        for (int c = 0; c < channels; c++)
          buf[(done + i) * channels + c] = src[i * S->o_ch + std::min(c, S->o_ch - 1)];
      S->o_at += n;
      S->o_rem -= n;
      done += n;
      continue;
    }
    if (!ogg_packet()) break;
    if (S->o_plen == 0) continue;
    int n = opus_decode(S->od, S->o_pkt.data(), static_cast<opus_int32>(S->o_plen), S->o_pcm,
                        kMaxPacketFrames, 0);
    if (n <= 0) continue;
    int64_t start = S->o_pos;
    S->o_pos += n;
    // The last page's granule marks where the stream's audio ends.
    if ((S->o_flags & 4) && S->o_gran >= 0 && S->o_pos > S->o_gran)
      n = static_cast<int>(std::clamp<int64_t>(S->o_gran - start, 0, n));
    S->o_at = 0;
    S->o_rem = n;
    if (S->o_drop > 0) {
      int d = static_cast<int>(std::min<int64_t>(S->o_drop, n));
      S->o_at = d;
      S->o_rem -= d;
      S->o_drop -= d;
    }
  }
  return done;
}

// For the page just read: the granule at which its first packet that begins on it starts,
// and leaves the reader before that packet. -1 when no packet both begins and is timed here.
int64_t first_packet_granule() {
  if (S->o_gran < 0) return -1;
  uint64_t body = tell();
  auto fail = [&] {
    seek_to(body);
    return int64_t{-1};
  };
  int i = 0;
  uint64_t skip = 0;
  if (S->o_flags & 1) {  // the page opens with the tail of an earlier packet
    while (i < S->o_nseg && S->o_seg[i] == 255) skip += S->o_seg[i++];
    if (i >= S->o_nseg) return fail();
    skip += S->o_seg[i++];
  }
  int first_seg = i;
  uint64_t at = body + skip;
  int64_t samples = 0;
  uint64_t len = 0;
  for (; i < S->o_nseg; i++) {
    len += S->o_seg[i];
    if (S->o_seg[i] == 255) continue;
    if (len > 0) {
      uint8_t toc[2] = {};
      size_t want = std::min<uint64_t>(len, 2);
      if (!seek_to(at) || fread(toc, 1, want, S->of.get()) != want) return fail();
      int n = opus_packet_get_nb_samples(toc, static_cast<opus_int32>(want), kRate);
      if (n < 0) return fail();
      samples += n;
    }
    at += len;
    len = 0;
  }
  if (!seek_to(body + skip)) return fail();
  S->o_si = first_seg;
  return S->o_gran - samples;
}

// The granule of the next timed page after byte `at`, or -1.
int64_t next_granule(uint64_t at) {
  if (!resync(at)) return -1;
  for (int i = 0; i < kMaxSkippedPages; i++) {
    if (!ogg_page()) return -1;
    if (S->o_gran != -1) return S->o_gran;
    if (!skip_page_body()) return -1;
  }
  return -1;
}

bool start_from_beginning(int64_t target) {
  S->o_nseg = S->o_si = 0;
  S->o_pos = 0;
  S->o_drop = target;
  return seek_to(S->o_first);
}

bool opus_seek(double seconds) {
  if (!S || !S->od) return false;
  restart_decoder();
  int64_t target = S->o_pre + static_cast<int64_t>(seek_frame(seconds, kRate));
  int64_t want = target - kPreroll;  // where decoding should begin at the latest
  if (want <= S->o_pre) return start_from_beginning(target);
  uint64_t lo = S->o_first, hi = S->o_size;
  for (int step = 0; step < kBisectSteps && hi - lo > kResyncWindow; step++) {
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
  if (resync(lo)) {
    S->o_nseg = 0;
    while (ogg_page()) {
      uint64_t page = S->o_page_at;
      int64_t g = first_packet_granule();
      if (g >= 0 && g > want) break;
      if (g >= 0) {
        best = g;
        best_page = page;
      }
      if (!skip_page_body()) break;
    }
  }
  if (best < 0) return start_from_beginning(target);
  if (!seek_to(best_page) || !ogg_page() || first_packet_granule() != best)
    return start_from_beginning(target);
  S->o_pos = best;
  S->o_drop = target - best;
  return true;
}
}  // namespace

const DecoderOps DEC_OPUS = {"opus", opus_open_file, opus_read, opus_seek, opus_close_file};
