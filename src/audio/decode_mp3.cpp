// MP3 through libmpg123: 16-bit output at the file's own rate and channel count, and seeks to
// the sample (mpg123 walks frame headers from the last frame it has indexed). The length comes
// from the Xing/Info or VBRI header when the first frame has one; only files without one are
// scanned whole at open, which costs about a second for ten hours of audio.
#include <mpg123.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/mp3_frames.h"
#include "base/paths.h"

namespace {
struct HandleCloser {
  void operator()(mpg123_handle* h) const {
    mpg123_close(h);
    mpg123_delete(h);
  }
};
using Mpg123Ptr = std::unique_ptr<mpg123_handle, HandleCloser>;

struct Mp3State {
  Mpg123Ptr mh;
  int ch = 0;
  long rate = 0;
  off_t length = 0;  // frames, from the scan
  std::vector<int16_t> scratch;  // when fewer channels are asked for than the file has
};
Mp3State mp3;  // the open part

void mp3_close() { mp3 = Mp3State{}; }

bool mp3_open(const char* path, AudioInfo* info, ChapterTable* chapters) {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
  mp3_close();
  int err = 0;
  mp3.mh.reset(mpg123_new(nullptr, &err));
  mpg123_handle* mh = mp3.mh.get();
  if (!mh) return false;
  mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
  // Damage of any size is skipped to the next good frame, as other players do; the default
  // limit gives up after about 1 KB and ends the part there.
  mpg123_param(mh, MPG123_RESYNC_LIMIT, -1, 0);
  // Only 16-bit output, at whatever rate and channel count the stream has.
  mpg123_format_none(mh);
  const long* rates;
  size_t nrates;
  mpg123_rates(&rates, &nrates);
  for (size_t i = 0; i < nrates; i++)
    mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  if (mpg123_open(mh, path) != MPG123_OK) return false;
  int channels = 0, encoding = 0;
  if (mpg123_getformat(mh, &mp3.rate, &channels, &encoding) != MPG123_OK) return false;
  if (mp3.rate <= 0 || channels <= 0) return false;
  // Keep the first frame's layout for the whole stream: mpg123 converts later frames to it.
  mpg123_format_none(mh);
  mpg123_format(mh, mp3.rate, channels, MPG123_ENC_SIGNED_16);
  bool header_length = false;
  if (FilePtr f{fopen(path, "rb")}) {
    std::optional<Mp3Stream> stream = mp3_find_stream(f.get(), id3v2_tag_end(f.get()));
    header_length = stream && stream->has_length_header;
  }
  if (!header_length && mpg123_scan(mh) != MPG123_OK) return false;
  mp3.ch = channels;
  off_t frames = mpg123_length(mh);
  mp3.length = frames > 0 ? frames : 0;
  info->rate = static_cast<uint32_t>(mp3.rate);
  info->channels = static_cast<uint32_t>(std::min(channels, 2));
  info->duration = frames > 0 ? static_cast<double>(frames) / mp3.rate : 0;
  if (chapters) {
    FilePtr f(fopen(path, "rb"));
    if (f) id3_read_chapters(f.get(), *chapters);
  }
  return true;
}

// Reads whole frames of the file's layout into `buf`; MPG123_DONE may still bring bytes.
int read_native(int16_t* buf, int frames) {
  size_t want = static_cast<size_t>(frames) * mp3.ch * sizeof(int16_t);
  size_t got_total = 0;
  int idle = 0;  // reads that brought nothing; a damaged stream must not spin for ever
  while (got_total < want && idle < 64 && !audio_stop_requested()) {
    size_t done = 0;
    int r = mpg123_read(mp3.mh.get(), reinterpret_cast<unsigned char*>(buf) + got_total,
                        want - got_total, &done);
    got_total += done;
    idle = done ? 0 : idle + 1;
    if (r != MPG123_OK && r != MPG123_NEW_FORMAT) break;  // MPG123_DONE or an error
  }
  return static_cast<int>(got_total / (mp3.ch * sizeof(int16_t)));
}

int mp3_read(int16_t* buf, int frames, int channels) {
  if (!mp3.mh || frames <= 0 || channels < 1) return 0;
  if (channels == mp3.ch) return read_native(buf, frames);
  mp3.scratch.resize(static_cast<size_t>(frames) * mp3.ch);
  int n = read_native(mp3.scratch.data(), frames);
  for (int i = 0; i < n; i++)
    for (int c = 0; c < channels; c++)
      buf[i * channels + c] = mp3.scratch[static_cast<size_t>(i) * mp3.ch + std::min(c, mp3.ch - 1)];
  return n;
}

bool mp3_seek(double seconds) {
  if (!mp3.mh) return false;
  off_t frame = static_cast<off_t>(seek_frame(seconds, static_cast<double>(mp3.rate)));
  // mpg123 walks towards a target past the end for a time that grows with the target.
  if (mp3.length > 0) frame = std::min(frame, mp3.length);
  return mpg123_seek(mp3.mh.get(), frame, SEEK_SET) >= 0;
}
}  // namespace

const DecoderOps DEC_MP3 = {"mp3", mp3_open, mp3_read, mp3_seek, mp3_close};
