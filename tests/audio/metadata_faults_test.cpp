// Metadata that once stopped a file from playing or lost its chapters: Opus tags over 1 MiB
// (a big cover picture) and ID3v2.4 frame sizes written without the sync-safe encoding.
#include <gtest/gtest.h>

#include "audio/audio_chapters.h"
#include "audio/audio_decoder.h"
#include "support/audio_fixtures.h"
#include "support/temp_dir.h"

namespace {
std::string be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}
std::string syncsafe(uint32_t n) {
  return {static_cast<char>((n >> 21) & 0x7F), static_cast<char>((n >> 14) & 0x7F),
          static_cast<char>((n >> 7) & 0x7F), static_cast<char>(n & 0x7F)};
}
// An ID3v2.4 frame whose size is written sync-safe, or (as some taggers do) as a plain number.
std::string frame24(const std::string& id, const std::string& body, bool plain_size = false) {
  uint32_t n = static_cast<uint32_t>(body.size());
  return id + (plain_size ? be32(n) : syncsafe(n)) + std::string(2, '\0') + body;
}
std::string chap24(uint32_t start_ms, const std::string& title, bool plain_size) {
  std::string tit2 = frame24("TIT2", "\x03" + title, plain_size);
  return frame24("CHAP",
                 std::string("c\0", 2) + be32(start_ms) + be32(0) + be32(~0u) + be32(~0u) + tit2,
                 plain_size);
}

TEST(MetadataFaults, Id3v24PlainFrameSizesKeepLaterChapters) {
  const std::string long_title(200, 'L');  // sizes above 127 differ in the two encodings
  struct Case {
    const char* name;
    std::string frames;
    std::vector<std::string> titles;
  };
  const Case kCases[] = {
      {"all sync-safe",
       chap24(0, long_title, false) + chap24(1000, "Two", false),
       {long_title, "Two"}},
      {"first written plain",
       chap24(0, long_title, true) + chap24(1000, "Two", false),
       {long_title, "Two"}},
      {"plain sizes without a top bit set (256 bytes), told apart by where frames begin",
       chap24(0, std::string(227, 'l'), true) + chap24(1000, "Two", false),
       {std::string(227, 'l'), "Two"}},
      {"all written plain, then padding",
       chap24(0, long_title, true) + chap24(1000, long_title + "2", true) + std::string(64, '\0'),
       {long_title, long_title + "2"}},
  };
  TempDir dir;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string path = dir / "t.mp3";
    write_file(path, std::string("ID3\x04\x00\x00", 6) +
                         syncsafe(static_cast<uint32_t>(c.frames.size())) + c.frames);
    FILE* f = fopen(path.c_str(), "rb");
    ChapterTable t;
    id3_read_chapters(f, t);
    fclose(f);
    ASSERT_EQ(t.size(), c.titles.size());
    for (size_t i = 0; i < t.size(); i++) EXPECT_EQ(t.items()[i].title, c.titles[i]);
  }
}

TEST(MetadataFaults, OpusWithTagsOverOneMebibytePlays) {
  TempDir dir;
  std::string meta =
      ";FFMETADATA1\nCHAPTER000=00:00:00.000\ncomment=" + std::string(1200000, 'p') + "\n";
  write_file(dir / "meta.txt", meta);
  std::string path = dir / "big.opus";
  ASSERT_TRUE(make_test_audio(path, 1.0, 48000, 1, "-c:a libopus",
                              "-i '" + dir / "meta.txt" + "' -map 0 -map_metadata 1"));
  ASSERT_GT(read_file(path).size(), 1200000u);
  ASSERT_EQ(detect_decoder(path.c_str()), &DEC_OPUS);
  AudioInfo info;
  ChapterTable chapters;
  ASSERT_TRUE(DEC_OPUS.open(path.c_str(), &info, &chapters));
  EXPECT_NEAR(info.duration, 1.0, 0.01);
  int16_t block[4096];
  size_t frames = 0;
  for (int n; (n = DEC_OPUS.read(block, 4096, 1)) > 0;) frames += static_cast<size_t>(n);
  DEC_OPUS.close();
  EXPECT_EQ(frames, ffmpeg_decode(path, 1).size());
}
}  // namespace
