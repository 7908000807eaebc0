// Inputs that once made a decoder play noise, stop early or crash: content no decoder knows,
// damage in the middle of an MP3, an MP3 length header, and an AAC stream whose channel layout
// changes mid-stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "audio/audio_decoder.h"
#include "audio/mp3_frames.h"
#include "base/paths.h"
#include "decoder_fixture.h"
#include "support/audio_fixtures.h"
#include "support/temp_dir.h"

namespace {
// A little- or big-endian 32-bit field.
std::string u32(uint32_t v, bool big) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; i++) s[big ? 3 - i : i] = static_cast<char>(v >> (8 * i));
  return s;
}

// Files that hold no stream any decoder knows are refused, never handed to the MP3 decoder.
TEST(DecoderDetection, UnknownContentIsRefused) {
  TempDir dir;
  std::string rifx_body = "WAVEfmt " + u32(16, true) + std::string("\x00\x01\x00\x02", 4) +
                          u32(44100, true) + u32(176400, true) +
                          std::string("\x00\x04\x00\x10", 4) + "data" + u32(40000, true);
  std::string noisy(40000, '\0');
  for (size_t i = 0; i < noisy.size(); i++) noisy[i] = static_cast<char>((i * 7919) >> 3);
  // One valid-looking MPEG header followed by anything else is a chance match, not a stream.
  std::string one_sync = std::string("\xFF\xFB\x90\x64", 4) + std::string(5000, 'a');
  const struct {
    const char* name;
    std::string bytes;
  } kCases[] = {
      {"big-endian RIFX",
       "RIFX" + u32(static_cast<uint32_t>(rifx_body.size() + 40000), true) + rifx_body + noisy},
      {"text", std::string(3000, 'x')},
      {"noise", noisy},
      {"one lucky sync word", one_sync},
      {"an ID3 tag before noise", std::string("ID3\x03\x00\x00\x00\x00\x00\x00", 10) + noisy},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string path = dir / "x.mp3";
    write_file(path, c.bytes);
    EXPECT_EQ(detect_decoder(path.c_str()), nullptr);
  }
}

TEST(DecoderDetection, MpegStreamsAreFoundBehindJunkAndTags) {
  TempDir dir;
  std::string path = dir / "a.mp3";
  ASSERT_TRUE(make_test_audio(path, 1.0, 22050, 1, "-c:a libmp3lame -b:a 32k"));
  std::string mp3 = read_file(path);
  const struct {
    const char* name;
    std::string bytes;
  } kCases[] = {
      {"plain", mp3},
      {"junk before the first frame", std::string(3000, '\0') + mp3},
      {"an empty ID3 tag first", std::string("ID3\x03\x00\x00\x00\x00\x00\x00", 10) + mp3},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    write_file(path, c.bytes);
    EXPECT_EQ(detect_decoder(path.c_str()), &DEC_MP3);
  }
}

// A kilobyte and more of damage in the middle is skipped: the part plays on to its end.
TEST(DecoderMp3, PlaysPastDamageToTheEnd) {
  TempDir dir;
  std::string path = dir / "d.mp3";
  ASSERT_TRUE(make_test_audio(path, 20.0, 44100, 2, "-c:a libmp3lame -b:a 128k"));
  const size_t full = ffmpeg_decode(path, 2).size() / 2;
  std::string bytes = read_file(path);
  for (size_t damage : {1200u, 4000u, 20000u}) {
    SCOPED_TRACE(damage);
    std::string bad = bytes;
    for (size_t i = 0; i < damage; i++) bad[bad.size() / 2 + i] = static_cast<char>(i * 37 + 11);
    write_file(path, bad);
    AudioInfo info;
    ASSERT_TRUE(DEC_MP3.open(path.c_str(), &info, nullptr));
    size_t frames = decode_all(DEC_MP3, 2, 100 * 44100).size() / 2;
    DEC_MP3.close();
    // What is lost is about the damaged bytes' share of the file, never the rest of it.
    size_t lost_bound = full * (damage + 2 * 418) / bytes.size() + 2 * 1152;
    EXPECT_GE(frames + lost_bound, full);
    EXPECT_LE(frames, full);
    EXPECT_NEAR(info.duration, full / 44100.0, 0.05);
  }
}

// Ogg Vorbis resyncs past damage in the middle as well, at the next good page.
TEST(DecoderVorbisDamage, PlaysPastDamageToTheEnd) {
  TempDir dir;
  std::string path = dir / "d.ogg";
  ASSERT_TRUE(make_test_audio(path, 20.0, 44100, 2, "-c:a libvorbis -q:a 4"));
  const std::vector<int16_t> ref = ffmpeg_decode(path, 2);
  std::string bad = read_file(path);
  for (size_t i = 0; i < 1000; i++) bad[bad.size() / 2 + i] = static_cast<char>(i * 37 + 11);
  write_file(path, bad);
  AudioInfo info;
  ASSERT_TRUE(DEC_VORBIS.open(path.c_str(), &info, nullptr));
  std::vector<int16_t> got = decode_all(DEC_VORBIS, 2, 100 * 44100);
  DEC_VORBIS.close();
  // The pages around the damage are lost (this chirp packs seconds into one), the rest plays:
  // the last second is the file's own last second.
  const size_t second = 2 * 44100;
  ASSERT_GT(got.size(), ref.size() / 2 + second);
  ASSERT_LT(got.size(), ref.size());
  int worst = 0;
  for (size_t i = 1; i <= second; i++)
    worst = std::max(worst, std::abs(got[got.size() - i] - ref[ref.size() - i]));
  EXPECT_LE(worst, 2);
}

// The length comes from the Xing/Info header without reading the file through: a file cut
// short still reports what its header says. Without a header the file is scanned instead.
TEST(DecoderMp3, LengthFromTheHeaderOrFromAScan) {
  TempDir dir;
  std::string with = dir / "with.mp3";
  std::string without = dir / "without.mp3";
  ASSERT_TRUE(make_test_audio(with, 10.0, 44100, 2, "-c:a libmp3lame -b:a 64k"));
  ASSERT_TRUE(make_test_audio(without, 10.0, 44100, 2, "-c:a libmp3lame -b:a 64k -write_xing 0"));
  for (const std::string& p : {with, without}) {
    FilePtr f(fopen(p.c_str(), "rb"));
    std::optional<Mp3Stream> s = mp3_find_stream(f.get(), id3v2_tag_end(f.get()));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->has_length_header, p == with);
  }
  std::string bytes = read_file(with);
  write_file(with, bytes.substr(0, bytes.size() / 2));
  std::string cut = read_file(without);
  write_file(without, cut.substr(0, cut.size() / 2));
  AudioInfo info;
  ASSERT_TRUE(DEC_MP3.open(with.c_str(), &info, nullptr));
  EXPECT_NEAR(info.duration, 10.0, 0.05);
  DEC_MP3.close();
  ASSERT_TRUE(DEC_MP3.open(without.c_str(), &info, nullptr));
  EXPECT_NEAR(info.duration, 5.0, 0.2);
  DEC_MP3.close();
}

TEST(DecoderMp3, FrameHeaderFields) {
  const struct {
    const char* name;
    std::string header;
    int version, layer;
    uint32_t rate, length;
  } kCases[] = {
      {"MPEG-1 layer III 128k 44.1k", std::string("\xFF\xFB\x90\x64", 4), 1, 3, 44100, 417},
      {"the same, padded", std::string("\xFF\xFB\x92\x64", 4), 1, 3, 44100, 418},
      {"MPEG-2 layer III 32k 22.05k mono", std::string("\xFF\xF3\x40\xC4", 4), 2, 3, 22050, 104},
      {"MPEG-2.5 layer III 8k 8k", std::string("\xFF\xE3\x18\xC4", 4), 25, 3, 8000, 72},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    auto span = std::span(reinterpret_cast<const uint8_t*>(c.header.data()), c.header.size());
    std::optional<Mp3FrameHeader> h = mp3_parse_header(span);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->version, c.version);
    EXPECT_EQ(h->layer, c.layer);
    EXPECT_EQ(h->rate, c.rate);
    EXPECT_EQ(h->length, c.length);
  }
  // Free format, a bad bitrate, a reserved rate, version or layer.
  for (const char* bad : {"\xFF\xFB\x04\x64", "\xFF\xFB\xF0\x64", "\xFF\xFB\x9C\x64",
                          "\xFF\xEB\x90\x64", "\xFF\xF9\x90\x64"}) {
    auto span = std::span(reinterpret_cast<const uint8_t*>(bad), 4);
    EXPECT_FALSE(mp3_parse_header(span)) << bad;
  }
}

// An ADTS stream that switches from five channels to mono (found by the decode fuzz harness):
// the converter set up at open must not be fed the new layout. Replayed as the harness does.
TEST(DecoderAac, ChannelLayoutChangeMidStream) {
  TempDir dir;
  std::string input =
      read_file(std::string(QL_SOURCE_DIR) + "/tests/audio/data/aac-channel-change.fuzz");
  ASSERT_GT(input.size(), 4u);
  std::string path = dir / "part";
  write_file(path, input.substr(4));
  for (const DecoderOps* d : {&DEC_MP4, &DEC_ADTS}) {
    SCOPED_TRACE(d->name);
    AudioInfo info;
    if (d->open(path.c_str(), &info, nullptr)) {
      for (int channels : {1, 2}) {
        decode_all(*d, channels, 10 * 48000);
        d->seek(0);
      }
    }
    d->close();
  }
}

// A made stream with the same change: six channels, then mono, both decoded in full.
TEST(DecoderAac, LayoutChangeKeepsPlaying) {
  TempDir dir;
  std::string six = dir / "six.aac", mono = dir / "mono.aac", both = dir / "both.aac";
  ASSERT_TRUE(make_test_audio(six, 1.0, 44100, 2,
                              "-c:a aac -af 'pan=5.1|c0=c0|c1=c1|c2=c0|c3=c1|c4=c0|c5=c1'"));
  ASSERT_TRUE(make_test_audio(mono, 1.0, 44100, 1, "-c:a aac"));
  write_file(both, read_file(six) + read_file(mono));
  AudioInfo info;
  ASSERT_TRUE(DEC_ADTS.open(both.c_str(), &info, nullptr));
  EXPECT_EQ(info.channels, 2u);
  size_t frames = decode_all(DEC_ADTS, 2, 10 * 44100).size() / 2;
  DEC_ADTS.close();
  EXPECT_GT(frames, 2 * 44100 - 4096);
}
}  // namespace
