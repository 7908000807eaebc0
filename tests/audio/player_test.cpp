// The player driven as the reader drives it, in process: scripted taps on the real screen over
// the real engine (output nowhere, at fifty times real time), audiobooks made here: a folder of
// three MP3 parts, an M4B with chapters, a FLAC and an Opus file. Assertions read what the
// engine and the screen leave in the state files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/ui/settings_file.h"
#include "app/ui/ui_list_geometry.h"
#include "app/ui/ui_list_menu.h"
#include "audio/audio_engine.h"
#include "audio/audio_files.h"
#include "audio/audio_player.h"
#include "base/wyhash.h"
#include "support/audio_fixtures.h"
#include "support/event_ceiling.h"
#include "support/screen_steps.h"
#include "support/temp_dir.h"
#include "support/ui_screen_fixture.h"

namespace {
using namespace std::chrono_literals;
constexpr double kPartSeconds = 600;  // 12 s at fifty times real time: no part ends by itself

class Player : public ScreenTest {
 protected:
  static void SetUpTestSuite() {
    ScreenTest::SetUpTestSuite();
    made = new TempDir;
    const std::string sine =
        "-f lavfi -i 'sine=f=300:r=8000:d=" + std::to_string(kPartSeconds) + "'";
    auto make = [&](const std::string& name, const std::string& args) {
      ASSERT_TRUE(run_command("ffmpeg -v error -y " + args + " '" + *made / name + "' </dev/null"))
          << name;
    };
    make("part.mp3", sine + " -c:a libmp3lame -b:a 8k");
    write_file(*made / "meta.txt",
               ";FFMETADATA1\n"
               "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=120000\ntitle=Opening\n"
               "[CHAPTER]\nTIMEBASE=1/1000\nSTART=120000\nEND=300000\ntitle=Middle\n"
               "[CHAPTER]\nTIMEBASE=1/1000\nSTART=300000\nEND=600000\ntitle=End\n");
    make("book.m4b", sine + " -i '" + *made / "meta.txt" +
                         "' -map 0 -map_metadata 1 -map_chapters 1 -c:a aac -b:a 16k");
    make("book.flac", sine + " -c:a flac");
    make("book.opus", "-f lavfi -i 'sine=f=300:r=48000:d=" + std::to_string(kPartSeconds) +
                          "' -c:a libopus -b:a 12k");
  }
  static void TearDownTestSuite() {
    delete made;
    made = nullptr;
  }
  void SetUp() override {
    ScreenTest::SetUp();
    setenv("AUDIO_NULL", "1", 1);
    mkdir(root_.host("us/documents").c_str(), 0755);
    mkdir(root_.host("us/documents/Book").c_str(), 0755);
    for (const char* part : {"Part 1.mp3", "Part 10.mp3", "Part 2.mp3"})
      place("part.mp3", std::string("Book/") + part);
    place("book.m4b", "Chaptered.m4b");
    place("book.flac", "Single.flac");
    place("book.opus", "Single.opus");
  }
  void TearDown() override {
    ql_audio_stop();
    unsetenv("AUDIO_NULL");
    ScreenTest::TearDown();
  }
  void place(const std::string& made_name, const std::string& doc) {
    write_file(root_.host("us/documents/" + doc), read_file(*made / made_name));
  }
  static std::string doc(const std::string& rel) { return "/mnt/us/documents/" + rel; }
  AudioBook folder_book() const {
    return audio_book_make(
        doc("Book/Part 1.mp3"), doc("Book"),
        {doc("Book/Part 2.mp3"), doc("Book/Part 1.mp3"), doc("Book/Part 10.mp3")});
  }
  static AudioBook single(const std::string& rel) { return audio_book_make(doc(rel), {}, {}); }

  // Taps in the middle of a button, once a running engine has taken the command the tap before
  // sent: a command not yet taken is replaced by the next one, and the screen answers scripted
  // taps faster than the engine looks for commands.
  void tap(PlayerButton b) {
    touches_.at_wait([this] { wait_for_command_taken(); });
    const PlayerGeometry g(W(), H());
    struct Place {
      PlayerButton button;
      int column, y;
    };
    constexpr Place kPlaces[] = {{PlayerButton::Leave, 0, 150},
                                 {PlayerButton::Back30, 0, 900},
                                 {PlayerButton::PlayPause, 1, 900},
                                 {PlayerButton::Forward30, 2, 900},
                                 {PlayerButton::PartsOrChapters, 0, 1050},
                                 {PlayerButton::Bookmarks, 1, 1050},
                                 {PlayerButton::Speed, 2, 1050},
                                 {PlayerButton::Timer, 0, 1180},
                                 {PlayerButton::Stop, 1, 1180}};
    for (const Place& p : kPlaces)
      if (p.button == b) touches_.touch(g.column_x(p.column) + g.column / 2, g.y(p.y));
  }
  void tap_row(int row) {
    touches_.touch(W() / 2, kListTop + row * kListMenuRowHeight + kListMenuRowHeight / 2);
  }
  // The screen until the script ends with a tap on the header.
  void run_player(AudioBook book) {
    tap(PlayerButton::Leave);
    audio_player_screen(std::move(book));
    EXPECT_TRUE(ScriptedTouch::done());
  }
  AudioStatus status() {
    std::optional<AudioStatus> s = audio_status_read();
    EXPECT_TRUE(s);
    return s.value_or(AudioStatus{});
  }
  void wait_for_command_taken() {
    const std::string cmd = root_.state("audio.cmd");
    auto end = std::chrono::steady_clock::now() + kEventCeiling;
    while (ql_audio_alive() && file_exists(cmd) && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(2ms);
    }
  }
  // Waits on the engine, not on time: until `done` holds for the status.
  template <class Done>
  void wait_for_status(Done done) {
    auto end = std::chrono::steady_clock::now() + kEventCeiling;
    while (std::chrono::steady_clock::now() < end) {
      std::optional<AudioStatus> s = audio_status_read();
      if (s && done(*s)) return;
      std::this_thread::sleep_for(5ms);
    }
    ADD_FAILURE() << "the engine never reached the state waited for";
  }
  std::string part_file() const {
    return read_file(root_.state("audio-part-" + cache_key_hex(CacheKey(doc("Book")))));
  }
  std::string bookmarks_of(const std::string& key_source) const {
    return read_file(root_.state("audio-bm-" + cache_key_hex(CacheKey(key_source)) + ".txt"));
  }

  static TempDir* made;
};
TempDir* Player::made = nullptr;

TEST_F(Player, FolderBookPlaysPausesSeeksAndFollowsItsParts) {
  AudioBook book = folder_book();
  ASSERT_EQ(book.parts.size(), 3u);
  EXPECT_EQ(book.parts[1], doc("Book/Part 10.mp3"));  // byte order, not numeric

  // Play, then pause: the first part plays, and the part file names it.
  tap(PlayerButton::PlayPause);
  tap(PlayerButton::PlayPause);
  run_player(book);
  AudioStatus s = status();
  EXPECT_EQ(s.path, doc("Book/Part 1.mp3"));
  EXPECT_EQ(s.playing, 0);
  EXPECT_GT(s.position, 0.0);
  EXPECT_EQ(part_file(), doc("Book/Part 1.mp3"));

  // Play again resumes where the pause left off; +30 s moves on from there.
  const double paused_at = s.position;
  tap(PlayerButton::PlayPause);
  tap(PlayerButton::Forward30);
  run_player(folder_book());
  wait_for_status([&](const AudioStatus& st) { return st.position >= paused_at + 29; });
  EXPECT_EQ(status().path, doc("Book/Part 1.mp3"));

  // The parts list: the second row is "Part 10.mp3".
  tap(PlayerButton::PartsOrChapters);
  tap_row(1);
  run_player(folder_book());
  EXPECT_EQ(status().path, doc("Book/Part 10.mp3"));
  EXPECT_EQ(part_file(), doc("Book/Part 10.mp3"));

  // Near its end the engine goes on to "Part 2.mp3"; the screen follows and remembers it.
  ql_audio_cmd("seekto:9999");
  wait_for_status([&](const AudioStatus& st) { return st.path == doc("Book/Part 2.mp3"); });
  run_player(folder_book());
  EXPECT_EQ(part_file(), doc("Book/Part 2.mp3"));

  // Quit and come back: the same part, at the second it was left. Stop keeps that second in the
  // part's position file (a stop is no end of the part), and Play resumes from it; the pause
  // comes a moment later, when playing has gone on a little way.
  tap(PlayerButton::Forward30);
  run_player(folder_book());
  wait_for_status([&](const AudioStatus& st) { return st.position >= 29; });
  tap(PlayerButton::Stop);
  run_player(folder_book());
  ASSERT_FALSE(ql_audio_alive());
  const double left_at = status().position;
  char kept[32];
  snprintf(kept, sizeof kept, "%.1f\n", left_at);
  EXPECT_EQ(read_file(root_.host("us" + audio_position_path(doc("Book/Part 2.mp3")).substr(7))),
            kept);
  AudioBook again = folder_book();
  EXPECT_EQ(again.current_path(), doc("Book/Part 2.mp3"));
  tap(PlayerButton::PlayPause);
  tap(PlayerButton::PlayPause);
  run_player(std::move(again));
  s = status();
  EXPECT_EQ(s.path, doc("Book/Part 2.mp3"));
  EXPECT_GE(s.position, left_at - 0.1);
  EXPECT_TRUE(ql_audio_alive()) << "paused inside the part, not played to its end";
}

TEST_F(Player, ChaptersOfAnM4bAreListedAndChosen) {
  // Before the first play there is no chapter list: the toast says so (a touch closes it).
  tap(PlayerButton::PartsOrChapters);
  touches_.touch(500, 500);
  run_player(single("Chaptered.m4b"));
  EXPECT_FALSE(ql_audio_alive());

  tap(PlayerButton::PlayPause);
  tap(PlayerButton::PartsOrChapters);
  tap_row(2);  // "0:05:00   End": a seek in the playing engine
  run_player(single("Chaptered.m4b"));
  wait_for_status([](const AudioStatus& st) { return st.position >= 300.0; });
  EXPECT_EQ(status().path, doc("Chaptered.m4b"));
  EXPECT_EQ(read_file(root_.state("audio.chapters")), "0.0\tOpening\n120.0\tMiddle\n300.0\tEnd\n");

  // Stopped, a chapter starts the book there.
  ql_audio_stop();
  tap(PlayerButton::PartsOrChapters);
  tap_row(1);
  tap(PlayerButton::PlayPause);  // paused at once, so the place stays put
  run_player(single("Chaptered.m4b"));
  AudioStatus s = status();
  EXPECT_GE(s.position, 120.0);
  EXPECT_LT(s.position, 300.0) << "still in the chapter chosen";
}

// All 512 chapters the engine keeps are listed: the last one is chosen from the last page.
TEST_F(Player, ChapterListHoldsAll512) {
  tap(PlayerButton::PlayPause);
  tap(PlayerButton::Stop);
  run_player(single("Chaptered.m4b"));
  std::string many;
  for (int i = 0; i < 600; i++)
    many += std::to_string(i) + ".0\tChapter " + std::to_string(i) + "\n";
  write_file(root_.state("audio.chapters"), many);
  const ListGeometry g = list_geometry(512, 0, kListMenuRowHeight, H());
  tap(PlayerButton::PartsOrChapters);
  for (uint64_t page = 1; page < g.pages; page++)
    touches_.touch(W() * 3 / 4, H() - kListPagerBand / 2);
  tap_row(static_cast<int>(511 % static_cast<uint64_t>(g.per_page)));
  tap(PlayerButton::PlayPause);  // paused at once, so the place stays put
  run_player(single("Chaptered.m4b"));
  EXPECT_EQ(g.pages,
            (512 + static_cast<uint64_t>(g.per_page) - 1) / static_cast<uint64_t>(g.per_page));
  AudioStatus s = status();
  EXPECT_GE(s.position, 511.0);
  EXPECT_LT(s.position, kPartSeconds) << "paused before the end of the book";
}

// While another book plays, this book's buttons never seek inside it.
TEST_F(Player, AnotherBookPlayingIsLeftWhereItIs) {
  ASSERT_EQ(ql_audio_start(doc("Single.flac").c_str(), 100, 0, 0, 100.0), 1);
  wait_for_status([](const AudioStatus& st) { return st.playing == 1; });
  ql_audio_cmd("pause");
  wait_for_status([](const AudioStatus& st) { return st.playing == 0; });
  const double before = status().position;
  tap(PlayerButton::Forward30);
  tap(PlayerButton::Back30);
  tap(PlayerButton::PartsOrChapters);
  touches_.touch(500, 500);  // closes the no-chapters toast
  run_player(single("Chaptered.m4b"));
  std::this_thread::sleep_for(300ms);  // a seek, were one sent, is taken within 200 ms
  AudioStatus s = status();
  EXPECT_EQ(s.path, doc("Single.flac"));
  EXPECT_EQ(s.position, before);
}

TEST_F(Player, BookmarksAreAddedFollowedAndRemoved) {
  const std::string bm =
      root_.state("audio-bm-" + cache_key_hex(CacheKey(doc("Single.opus"))) + ".txt");
  tap(PlayerButton::PlayPause);
  tap(PlayerButton::Forward30);
  tap(PlayerButton::PlayPause);  // paused past 30 s
  run_player(single("Single.opus"));
  const double at = status().position;
  ASSERT_GE(at, 30.0);

  // Add: the shown position with one decimal, a tab and the file name.
  tap(PlayerButton::Bookmarks);
  tap_row(0);
  touches_.touch(500, 500);  // closes "Bookmark added"
  run_player(single("Single.opus"));
  char line[64];
  snprintf(line, sizeof line, "%.1f\tSingle.opus\n", at);
  EXPECT_EQ(read_file(bm), line);

  // Go there: a new engine starts at the bookmark, not where the part was left.
  ql_audio_stop();
  write_file(root_.host("us" + audio_position_path(doc("Single.opus")).substr(7)), "200.0\n");
  tap(PlayerButton::Bookmarks);
  tap_row(1);
  tap_row(0);                    // "Go there"
  tap(PlayerButton::PlayPause);  // paused at once, so the place stays put
  run_player(single("Single.opus"));
  EXPECT_GE(status().position, at - 0.1);
  EXPECT_LT(status().position, 200.0) << "started from the bookmark, not the saved place";

  // Remove: the line goes, and so does nothing else of a hand-edited file.
  std::string many;
  for (int i = 0; i < 45; i++) many += std::to_string(i) + ".0\tSingle.opus\n";
  write_file(bm, many);
  tap(PlayerButton::Bookmarks);
  tap_row(2);  // the bookmark at 1.0 s
  tap_row(1);  // "Remove this bookmark"
  run_player(single("Single.opus"));
  std::string want;
  for (int i = 0; i < 45; i++)
    if (i != 1) want += std::to_string(i) + ".0\tSingle.opus\n";
  EXPECT_EQ(read_file(bm), want);

  // With 40 or more listed, adding is refused.
  tap(PlayerButton::Bookmarks);
  tap_row(0);
  touches_.touch(500, 500);  // closes the limit toast
  run_player(single("Single.opus"));
  EXPECT_EQ(read_file(bm), want);
}

TEST_F(Player, SpeedAndSleepTimer) {
  tap(PlayerButton::PlayPause);
  tap(PlayerButton::Speed);
  tap_row(3);  // 150%
  tap(PlayerButton::Timer);
  tap_row(1);  // 5 min
  run_player(single("Single.flac"));
  EXPECT_EQ(settings.speed, 150);
  EXPECT_EQ(settings.sleeptimer, 5);
  SettingsRecord saved;
  qls_load(saved);
  EXPECT_EQ(saved.speed, 150);
  EXPECT_EQ(saved.sleeptimer, 5);
  wait_for_status([](const AudioStatus& st) { return st.timer_left > 0; });
  EXPECT_LE(status().timer_left, 300);
  EXPECT_GT(status().timer_left, 290);

  // A short timer ends playback and keeps the place.
  ql_audio_cmd("timer:1");
  auto end = std::chrono::steady_clock::now() + kEventCeiling;
  while (ql_audio_alive() && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(5ms);
  ASSERT_FALSE(ql_audio_alive());
  AudioStatus s = status();
  EXPECT_EQ(s.playing, 0);
  EXPECT_GT(s.position, 0.0);
  const std::string pos = root_.host("us" + audio_position_path(doc("Single.flac")).substr(7));
  EXPECT_NEAR(atof(read_file(pos).c_str()), s.position, 0.051);

  // Off sends timer 0 and stores 0.
  tap(PlayerButton::Timer);
  tap_row(0);
  run_player(single("Single.flac"));
  EXPECT_EQ(settings.sleeptimer, 0);
}

// Turned to landscape, every button is on the screen, framed whole, and does its work.
TEST_F(Player, LandscapeKeepsEveryButtonOnTheScreen) {
  ql_set_rotation(1);
  ASSERT_GT(W(), H());
  const PlayerGeometry g(W(), H());
  touches_.at_wait([&] {
    struct Frame {
      int top, height;
      int columns;
    } frames[] = {{PlayerGeometry::kRow1Top, PlayerGeometry::kRow1Height, 3},
                  {PlayerGeometry::kRow2Top, PlayerGeometry::kRowHeight, 3},
                  {PlayerGeometry::kRow3Top, PlayerGeometry::kRowHeight, 2}};
    for (const Frame& f : frames) {
      for (int k = 0; k < f.columns; k++) {
        SCOPED_TRACE(std::to_string(f.top) + " column " + std::to_string(k));
        const int x = g.column_x(k) + 6, top = g.y(f.top);
        ASSERT_LE(top + f.height, H());
        EXPECT_EQ(darkest(x, top + f.height - 2, g.column - 12, 2), 0) << "the frame's foot";
        EXPECT_LT(darkest(x + 10, top + 10, g.column - 32, f.height - 20), 128) << "its label";
      }
    }
    EXPECT_LT(darkest(48, 242, 340, 340), 128) << "the cover card";
    EXPECT_EQ(darkest(g.left - 20, 226, 10, H() - 226), 255) << "nothing between cover and rows";
  });
  tap(PlayerButton::PlayPause);
  tap(PlayerButton::Timer);
  tap_row(1);  // 5 min
  tap(PlayerButton::Stop);
  run_player(single("Single.flac"));
  EXPECT_EQ(settings.sleeptimer, 5);
  EXPECT_FALSE(ql_audio_alive()) << "Stop ended the engine";
  EXPECT_EQ(status().path, doc("Single.flac"));
}

// A single-file book writes no part file.
TEST_F(Player, SingleFilesWriteNoPartFile) {
  tap(PlayerButton::PlayPause);
  run_player(single("Single.flac"));
  EXPECT_EQ(status().path, doc("Single.flac"));
  struct stat st;
  EXPECT_NE(
      stat(root_.state("audio-part-" + cache_key_hex(CacheKey("/mnt/us/documents"))).c_str(), &st),
      0);
}

// A damaged file shows the banner, and Play stays the button's label.
TEST_F(Player, UndecodableFileShowsTheBanner) {
  write_file(root_.host("us/documents/Broken.mp3"), std::string(20000, 'x'));
  tap(PlayerButton::PlayPause);
  run_player(single("Broken.mp3"));
  EXPECT_EQ(read_file(root_.state("audio.err")), "cannot-decode\n");
  EXPECT_LT(darkest(48, 1260, W() - 96, 60), 128);  // the banner's first line

  // The note is about that file: another audiobook opened afterwards shows no banner.
  run_player(single("Single.flac"));
  EXPECT_EQ(darkest(48, 1260, W() - 96, 150), 255);
  EXPECT_FALSE(audio_error_banner(folder_book()));
}

// A part that cannot be decoded while the book plays on is named and passed over; the banner
// says which one, for this book only.
TEST_F(Player, AnUndecodablePartIsSkippedAndNamed) {
  write_file(root_.host("us/documents/Book/Part 10.mp3"), std::string(20000, 'x'));
  ASSERT_EQ(ql_audio_start(doc("Book/Part 1.mp3").c_str(), 100, 0, 1, kPartSeconds - 5), 1);
  wait_for_status([&](const AudioStatus& st) { return st.path == doc("Book/Part 2.mp3"); });
  EXPECT_EQ(read_file(root_.state("audio.err")), "cannot-decode\n");
  const std::optional<std::string> banner = audio_error_banner(folder_book());
  ASSERT_TRUE(banner);
  EXPECT_EQ(*banner,
            "\xE2\x80\x9CPart 10\xE2\x80\x9D could not be played, so it was skipped. It may be "
            "damaged or copy-protected.");
  EXPECT_FALSE(audio_error_banner(single("Single.flac")));

  // The screen follows the engine to "Part 2" and shows the banner under its buttons.
  run_player(folder_book());
  EXPECT_LT(darkest(48, 1260, W() - 96, 60), 128);
}
}  // namespace

namespace {
// Each part passed over is named, as many as the banner holds; the note is about this book only,
// and a note naming no part is about none.
TEST_F(Player, EveryPartPassedOverIsNamed) {
  const std::string kEnd = " could not be played, so they were skipped. They may be damaged or "
                           "copy-protected.";
  const std::string p1 = "\xE2\x80\x9CPart 1\xE2\x80\x9D", p10 = "\xE2\x80\x9CPart 10\xE2\x80\x9D",
                    p2 = "\xE2\x80\x9CPart 2\xE2\x80\x9D";
  struct Case {
    std::vector<std::string> parts;
    size_t fits_bytes;  // the longest text the banner holds
    std::string banner;
  };
  const Case kCases[] = {
      {{doc("Book/Part 10.mp3"), doc("Book/Part 2.mp3")}, 1000, p10 + " and " + p2 + kEnd},
      {{doc("Book/Part 1.mp3"), doc("Book/Part 10.mp3"), doc("Book/Part 2.mp3")}, 1000,
       p1 + ", " + p10 + " and " + p2 + kEnd},
      {{doc("Book/Part 1.mp3"), doc("Book/Part 10.mp3"), doc("Book/Part 2.mp3")}, 125,
       p1 + ", " + p10 + " and 1 more part" + kEnd},
      {{doc("Book/Part 1.mp3"), doc("Book/Part 10.mp3"), doc("Book/Part 2.mp3")}, 10,
       p1 + " and 2 more parts" + kEnd},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.banner);
    audio_write_error("cannot-decode\n", c.parts);
    const auto fits = [&](std::string_view text) { return text.size() <= c.fits_bytes; };
    EXPECT_EQ(audio_error_banner(folder_book(), fits), c.banner);
    EXPECT_FALSE(audio_error_banner(single("Single.flac")));
  }
  audio_write_error("cannot-decode\n", {});
  EXPECT_FALSE(audio_error_banner(folder_book()));
}

// Two parts in a row that cannot be decoded: the engine plays on after both, and the banner
// names both.
TEST_F(Player, TwoUndecodablePartsInARowAreBothNamed) {
  write_file(root_.host("us/documents/Book/Part 10.mp3"), std::string(20000, 'x'));
  write_file(root_.host("us/documents/Book/Part 2.mp3"), std::string(20000, 'x'));
  ASSERT_EQ(ql_audio_start(doc("Book/Part 1.mp3").c_str(), 100, 0, 1, kPartSeconds - 5), 1);
  auto end = std::chrono::steady_clock::now() + kEventCeiling;
  while (ql_audio_alive() && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(5ms);
  EXPECT_EQ(audio_error_banner(folder_book()),
            "\xE2\x80\x9CPart 10\xE2\x80\x9D and \xE2\x80\x9CPart 2\xE2\x80\x9D could not be "
            "played, so they were skipped. They may be damaged or copy-protected.");
  run_player(folder_book());
  EXPECT_LT(darkest(48, 1260, W() - 96, 60), 128);
}

// After a kill while playing, the status left behind is where the engine was, past its last
// save, and still says "playing". No engine runs: the screen shows the place Play resumes from
// (the bookmark is added there), and sends no seek to an engine that is not there.
TEST_F(Player, AfterAKillThePlayerShowsWherePlayResumes) {
  write_file(root_.state("audio.status"), "357.0 600.0 1 8000 1 0\n" + doc("Single.flac") + "\n");
  const std::string pos = root_.host("us" + audio_position_path(doc("Single.flac")).substr(7));
  write_file(pos, "215.0\n");
  ASSERT_FALSE(ql_audio_alive());
  tap(PlayerButton::Forward30);
  tap(PlayerButton::Bookmarks);
  tap_row(0);
  touches_.touch(500, 500);  // closes "Bookmark added"
  run_player(single("Single.flac"));
  EXPECT_FALSE(file_exists(root_.state("audio.cmd")));
  EXPECT_EQ(bookmarks_of(doc("Single.flac")), "215.0\tSingle.flac\n");
  EXPECT_EQ(read_file(pos), "215.0\n");
}

// A part whose file name holds a tab cannot be stored in the bookmarks file: the reader is told
// why, not that the storage failed.
TEST_F(Player, ABookmarkRefusedForItsNameSaysWhy) {
  place("book.flac", "Odd\tname.flac");
  tap(PlayerButton::Bookmarks);
  tap_row(0);
  bool told = false;
  touches_.at_wait([&] {
    told = ScreenSteps::screen_shows_toast(
        "This part cannot be bookmarked: its file name holds a tab or a line break.");
  });
  touches_.touch(500, 500);  // closes the message
  run_player(single("Odd\tname.flac"));
  EXPECT_TRUE(told);
  EXPECT_EQ(bookmarks_of(doc("Odd\tname.flac")), "");
}
}  // namespace
