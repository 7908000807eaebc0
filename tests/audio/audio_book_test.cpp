// The player's pieces that need no engine: the book's parts and part file, the bookmarks file,
// the texts it shows and where its taps land.
#include "audio/audio_book.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>

#include "audio/audio_player.h"
#include "base/paths.h"
#include "base/wyhash.h"
#include "support/temp_dir.h"

namespace {
class AudioBookFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* d : {"us", "us/ql", "us/ql/state", "tmp"}) mkdir((dir / d).c_str(), 0755);
    ql_set_root((dir / "us").c_str(), (dir / "tmp").c_str());
  }
  void TearDown() override { ql_set_root(nullptr, nullptr); }
  std::string state(const std::string& name) const { return dir / ("us/ql/state/" + name); }
  std::string bookmarks() const { return state("audio-bm-" + key + ".txt"); }
  TempDir dir;
  const std::string key = cache_key_hex(CacheKey("/mnt/us/documents/B"));
};

TEST_F(AudioBookFiles, PartsAreOrderedByBytesAndThePartFileChoosesTheCurrentOne) {
  const std::string b = "/mnt/us/documents/B/";
  const std::vector<std::string> found = {b + "Part 2.mp3", b + "Part 10.mp3", b + "Part 1.mp3",
                                          b + "\xC3\xA9.mp3", b + "Part 1.mp3.mp3"};
  const std::string part_file = state("audio-part-" + key);
  struct Case {
    const char* name;
    std::optional<std::string> content;
    size_t current;
  };
  const Case kCases[] = {
      {"no part file", std::nullopt, 0},
      {"a part", b + "Part 10.mp3", 2},
      {"trailing spaces and line ends", b + "Part 2.mp3 \r\n", 3},
      {"a part no longer there", b + "Part 3.mp3", 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    unlink(part_file.c_str());
    if (c.content) write_file(part_file, *c.content);
    AudioBook book = audio_book_make(b + "Part 2.mp3", "/mnt/us/documents/B", found);
    EXPECT_EQ(book.parts,
              (std::vector<std::string>{b + "Part 1.mp3", b + "Part 1.mp3.mp3", b + "Part 10.mp3",
                                        b + "Part 2.mp3", b + "\xC3\xA9.mp3"}));
    EXPECT_EQ(book.current, c.current);
    EXPECT_TRUE(book.auto_advance());
  }
  audio_part_remember(b + "Part 2.mp3");
  EXPECT_EQ(read_file(part_file), b + "Part 2.mp3");
  EXPECT_FALSE(file_exists(part_file + ".tmp"));
  AudioBook one = audio_book_make(b + "x.mp3", "/mnt/us/documents/B", {b + "x.mp3"});
  EXPECT_FALSE(one.auto_advance());
}

TEST_F(AudioBookFiles, BookmarksFileIsReadWithinItsLimits) {
  write_file(bookmarks(), "12.5\tPart 1.mp3\n\n\njunk\tPart 2.mp3\n7\n3.0\tname\twith tab.mp3");
  std::vector<AudioBookmark> marks = audio_bookmarks_read(key);
  ASSERT_EQ(marks.size(), 4u);
  EXPECT_EQ(marks[0].seconds, 12.5);
  EXPECT_EQ(marks[0].part_name, "Part 1.mp3");
  EXPECT_EQ(marks[1].seconds, 0.0);  // unparseable
  EXPECT_EQ(marks[2].part_name, "");
  EXPECT_EQ(marks[3].part_name, "name\twith tab.mp3");
  // Adding to a file without a final line feed starts a line of its own.
  ASSERT_EQ(audio_bookmark_add(key, 61.25, "Part 3.mp3"), BookmarkAdd::Saved);
  EXPECT_EQ(
      read_file(bookmarks()),
      "12.5\tPart 1.mp3\n\n\njunk\tPart 2.mp3\n7\n3.0\tname\twith tab.mp3\n61.2\tPart 3.mp3\n");
  // A part name that would split the line, or add one, leaves the file as it was.
  const std::string before = read_file(bookmarks());
  for (const char* name : {"Part\n4.mp3", "Part\r4.mp3", "Part\t4.mp3"}) {
    EXPECT_EQ(audio_bookmark_add(key, 5, name), BookmarkAdd::NameRefused) << name;
    EXPECT_EQ(read_file(bookmarks()), before) << name;
  }
  // At most 40 lines are read (and only the first 16,000 bytes); removing keeps the rest.
  std::string big;
  for (int i = 0; i < 50; i++) big += std::to_string(i) + ".0\t" + std::string(390, 'a') + "\n";
  write_file(bookmarks(), big);
  marks = audio_bookmarks_read(key);
  EXPECT_EQ(marks.size(), 40u);
  ASSERT_TRUE(audio_bookmark_remove(key, 0));
  EXPECT_EQ(read_file(bookmarks()), big.substr(big.find('\n') + 1));
  EXPECT_FALSE(audio_bookmark_remove(key, 99));
}

TEST(AudioPlayerTexts, TimesRowsAndCommands) {
  const std::pair<double, const char*> kTimes[] = {
      {-5, "0:00:00"},   {0, "0:00:00"},        {59.9, "0:00:59"}, {61, "0:01:01"},
      {3600, "1:00:00"}, {36000.5, "10:00:00"}, {NAN, "0:00:00"},  {1e300, "277777777777:46:40"}};
  for (const auto& [seconds, text] : kTimes) EXPECT_EQ(audio_format_hms(seconds), text) << seconds;
  EXPECT_EQ(audio_format_list_row("0:01:00", "Two", kChapterRowBytes), "0:01:00   Two");
  // A label too long for the row is cut before a character that would cross the limit.
  std::string euros;
  for (int i = 0; i < 100; i++) euros += "\xE2\x82\xAC";
  std::string row = audio_format_list_row("0:00:00", euros, kChapterRowBytes);
  EXPECT_LE(row.size(), kChapterRowBytes - 1);
  EXPECT_EQ((row.size() - 10) % 3, 0u);
  EXPECT_EQ(audio_build_seekto_cmd(12.34), "seekto:12.3");
  const std::pair<const char*, const char*> kNames[] = {
      {"Part 1.mp3", "Part 1"}, {"book.flac", "book"},
      {".hidden", ".hidden"},   {"long.extension", "long.extension"},
      {"no-dot", "no-dot"},     {"a.b.opus", "a.b"}};
  for (const auto& [name, stem] : kNames) EXPECT_EQ(audio_name_without_extension(name), stem);
}

TEST(AudioPlayerTaps, ButtonsByBand) {
  const PlayerGeometry g(1072, 1448);  // columns of 325 px from x 48
  struct Case {
    int x, y;
    PlayerButton expected;
  };
  const Case kCases[] = {
      {500, 225, PlayerButton::Leave},
      {100, 821, PlayerButton::Back30},
      {500, 983, PlayerButton::PlayPause},
      {1000, 900, PlayerButton::Forward30},
      {47, 900, PlayerButton::None},             // left of the first column
      {1023, 900, PlayerButton::None},           // right of the third
      {500, 984, PlayerButton::None},            // between the bands
      {10, 991, PlayerButton::PartsOrChapters},  // rows 2 and 3 take the nearest column
      {600, 1115, PlayerButton::Bookmarks},
      {1070, 1050, PlayerButton::Speed},
      {10, 1116, PlayerButton::Timer},
      {500, 1241, PlayerButton::Stop},
      {1000, 1180, PlayerButton::None},
      {500, 1242, PlayerButton::None},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    EXPECT_EQ(player_button_at(g, c.x, c.y), c.expected);
  }
  // Landscape: the rows lie right of the cover, 340 px higher; columns of 321 px from x 436.
  const PlayerGeometry land(1448, 1072);
  EXPECT_EQ(land.column, 321);
  const Case kLandscape[] = {
      {436, 481, PlayerButton::Back30},
      {435, 600, PlayerButton::None},
      {436 + 321, 643, PlayerButton::PlayPause},
      {436 + 3 * 321, 600, PlayerButton::None},
      {100, 651, PlayerButton::PartsOrChapters},
      {1400, 700, PlayerButton::Speed},
      {436 + 321, 776, PlayerButton::Stop},
      {436 + 321, 901, PlayerButton::Stop},
      {436 + 321, 902, PlayerButton::None},
  };
  for (const Case& c : kLandscape) {
    SCOPED_TRACE("landscape " + std::to_string(c.x) + "," + std::to_string(c.y));
    EXPECT_EQ(player_button_at(land, c.x, c.y), c.expected);
  }
}
}  // namespace
