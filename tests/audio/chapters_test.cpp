// Chapter readers against ffprobe (ID3 CHAP, MP4) and the comments we wrote (FLAC, Vorbis,
// Opus), hand-built ID3 tags for the text encodings, and the comment rules.
#include <gtest/gtest.h>

#include "audio/audio_chapters.h"
#include "audio/audio_decoder.h"
#include "support/audio_fixtures.h"
#include "support/temp_dir.h"

namespace {
ChapterTable chapters_of(const std::string& path) {
  ChapterTable t;
  const DecoderOps* d = detect_decoder(path.c_str());
  AudioInfo info;
  EXPECT_TRUE(d && d->open(path.c_str(), &info, &t)) << path;
  if (d) d->close();
  return t;
}

std::string safe(std::string s) {
  for (char& c : s)
    if (c == '\t') c = ' ';
  return s;
}

TEST(Chapters, MatchWhatFfmpegWrote) {
  TempDir dir;
  write_file(dir / "meta.txt",
             ";FFMETADATA1\n"
             "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1200\ntitle=Opening\ttab\n"
             "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1200\nEND=2250\ntitle=Zwei \xE2\x80\x93 \xC3\xBC \xF0\x9F\x98\x80\n"
             "[CHAPTER]\nTIMEBASE=1/1000\nSTART=2250\nEND=3000\ntitle=Three\n");
  const std::string meta = "-i '" + dir / "meta.txt" + "' -map_metadata 1 -map_chapters 1";
  struct Case {
    const char* file;
    const char* args;
  };
  // ID3v2.3 stores the titles as UTF-16 with a byte-order mark (the emoji as a surrogate
  // pair), ID3v2.4 as UTF-8; M4B holds a "chpl" list and a chapter text track.
  const Case kProbed[] = {{"v3.mp3", "-c:a libmp3lame -id3v2_version 3"},
                          {"v4.mp3", "-c:a libmp3lame -id3v2_version 4"},
                          {"book.m4b", "-c:a aac"}};
  for (const Case& c : kProbed) {
    SCOPED_TRACE(c.file);
    std::string path = dir / c.file;
    ASSERT_TRUE(make_test_audio(path, 3.0, 44100, 1, c.args, meta));
    std::vector<ProbedChapter> want = ffprobe_chapters(path);
    ASSERT_EQ(want.size(), 3u);
    ChapterTable got = chapters_of(path);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); i++) {
      EXPECT_NEAR(got.items()[i].start, want[i].start, 0.001);
      EXPECT_EQ(got.items()[i].title, safe(want[i].title));
    }
  }
  // Comment chapters: ffmpeg writes them into Opus; for FLAC and Vorbis we give the comments.
  const std::string comments =
      "-metadata CHAPTER002=00:00:02.250 -metadata CHAPTER002NAME=Three "
      "-metadata CHAPTER000=00:00:00.000 -metadata CHAPTER000NAME=Opening "
      "-metadata CHAPTER001=00:00:01.200 -metadata 'CHAPTER001NAME=Zwei \xC3\xBC'";
  const Case kCommented[] = {{"c.opus", "-c:a libopus"},
                             {"c.flac", "-c:a flac"},
                             {"c.ogg", "-c:a libvorbis"}};
  for (const Case& c : kCommented) {
    SCOPED_TRACE(c.file);
    std::string path = dir / c.file;
    bool opus = std::string(c.file) == "c.opus";
    ASSERT_TRUE(make_test_audio(path, 3.0, opus ? 48000 : 44100, 1, c.args, opus ? meta : comments));
    ChapterTable got = chapters_of(path);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_DOUBLE_EQ(got.items()[0].start, 0.0);
    EXPECT_DOUBLE_EQ(got.items()[1].start, 1.2);
    EXPECT_DOUBLE_EQ(got.items()[2].start, 2.25);
    EXPECT_EQ(got.items()[2].title, "Three");
  }
}

TEST(Chapters, ChplWinsOverTheTextTrackInEitherOrder) {
  TempDir dir;
  write_file(dir / "meta.txt",
             ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=500\ntitle=alpha\n"
             "[CHAPTER]\nTIMEBASE=1/1000\nSTART=500\nEND=1000\ntitle=beta\n");
  std::string path = dir / "b.m4b";
  ASSERT_TRUE(make_test_audio(path, 1.0, 44100, 1, "-c:a aac",
                              "-i '" + dir / "meta.txt" + "' -map_chapters 1"));
  std::string bytes = read_file(path);
  size_t chpl = bytes.find("chpl");
  ASSERT_NE(chpl, std::string::npos);
  size_t alpha = bytes.find("alpha", chpl);
  ASSERT_NE(alpha, std::string::npos);
  bytes.replace(alpha, 5, "ALPHA");  // only the chpl copy of the title changes
  write_file(path, bytes);
  ChapterTable got = chapters_of(path);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got.items()[0].title, "ALPHA");
  EXPECT_EQ(got.items()[1].title, "beta");
}

// An ID3v2.3 tag (plain 32-bit frame sizes) with the given frames.
std::string id3_tag(const std::string& frames) {
  auto size28 = [](uint32_t n) {
    return std::string{static_cast<char>((n >> 21) & 0x7F), static_cast<char>((n >> 14) & 0x7F),
                       static_cast<char>((n >> 7) & 0x7F), static_cast<char>(n & 0x7F)};
  };
  return std::string("ID3\x03\x00\x00", 6) + size28(static_cast<uint32_t>(frames.size())) + frames;
}
std::string be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}
std::string frame(const std::string& id, const std::string& body) {
  return id + be32(static_cast<uint32_t>(body.size())) + std::string(2, '\0') + body;
}
std::string chap(uint32_t start_ms, const std::string& subframes) {
  return frame("CHAP", std::string("c\0", 2) + be32(start_ms) + be32(0) + be32(~0u) + be32(~0u) +
                           subframes);
}

TEST(Chapters, Id3TextEncodings) {
  struct Case {
    const char* name;
    std::string tit2_body;  // encoding byte + text
    std::string title;
  };
  const Case kCases[] = {
      {"latin-1", std::string("\x00" "Caf\xE9", 5), "Caf\xC3\xA9"},
      {"utf-8 with a tab and a line feed", std::string("\x03" "a\tb\nc", 6), "a b c"},
      {"utf-16 little-endian with BOM and a surrogate pair",
       std::string("\x01\xFF\xFE" "A\x00" "\x3D\xD8\x00\xDE", 9), "A\xF0\x9F\x98\x80"},
      {"utf-16 big-endian without BOM", std::string("\x02\x00" "B\x00\xFC", 5), "B\xC3\xBC"},
      {"lone surrogate", std::string("\x01\xFF\xFE\x3D\xD8" "x\x00", 7), "\xEF\xBF\xBDx"},
      {"empty text", std::string("\x03", 1), "Chapter 1"},
  };
  TempDir dir;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string path = dir / "t.mp3";
    write_file(path, id3_tag(chap(1500, frame("TIT2", c.tit2_body))));
    FILE* f = fopen(path.c_str(), "rb");
    ChapterTable t;
    id3_read_chapters(f, t);
    fclose(f);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_DOUBLE_EQ(t.items()[0].start, 1.5);
    EXPECT_EQ(t.items()[0].title, c.title);
  }
}

TEST(Chapters, Id3UntitledChaptersAreNumberedInTagOrderThenSorted) {
  TempDir dir;
  std::string path = dir / "n.mp3";
  write_file(path, id3_tag(chap(9000, "") + chap(1000, "") + chap(5000, "") +
                           frame("CHAP", std::string(300, 'x'))));  // runs past the tag: ends
  FILE* f = fopen(path.c_str(), "rb");
  ChapterTable t;
  id3_read_chapters(f, t);
  fclose(f);
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t.items()[0].title, "Chapter 2");
  EXPECT_EQ(t.items()[1].title, "Chapter 3");
  EXPECT_EQ(t.items()[2].title, "Chapter 1");
}

TEST(Chapters, CommentRules) {
  struct Case {
    const char* name;
    std::vector<std::string> comments;
    std::vector<std::pair<double, std::string>> want;
  };
  const Case kCases[] = {
      {"names and numbering",
       {"CHAPTER001=00:10:00.000", "CHAPTER000=00:00:00.000", "CHAPTER001NAME=Two"},
       {{0, "Chapter 0"}, {600, "Two"}}},
      {"out of range and five digits", {"CHAPTER512=0:0:1", "CHAPTER01234=0:0:1"}, {}},
      {"a name without a time", {"CHAPTER007NAME=Lost", "CHAPTER003=0:0:3"}, {{3, "Chapter 3"}}},
      {"lower case, hours", {"chapter2=1:02:03.5", "Chapter2name=Late"}, {{3723.5, "Late"}}},
      {"malformed time", {"CHAPTER001=soon", "CHAPTER002=0:00:02"}, {{2, "Chapter 2"}}},
      {"short comments are ignored", {"CHAPTER1=1"}, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    CommentSlots slots;
    for (const std::string& s : c.comments) vc_comment(slots, s);
    ChapterTable t;
    vc_finish(slots, t);
    ASSERT_EQ(t.size(), c.want.size());
    for (size_t i = 0; i < c.want.size(); i++) {
      EXPECT_DOUBLE_EQ(t.items()[i].start, c.want[i].first);
      EXPECT_EQ(t.items()[i].title, c.want[i].second);
    }
  }
}

TEST(Chapters, TableHoldsAtMost512) {
  ChapterTable t;
  for (int i = 0; i < 600; i++) t.add(i, "x");
  EXPECT_EQ(t.size(), ChapterTable::kMaxChapters);
}
}  // namespace
