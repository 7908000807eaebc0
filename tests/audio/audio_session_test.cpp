// The player in the real program, headless, through the host's own sound output (SDL's dummy
// driver, which takes audio at the real rate): an audiobook (WAV, MP3 or Opus) opened with "--open"
// resumes from its saved place and the program quits while it plays, from the player and from the
// library. The quit must stop the engine before the process ends (no sanitizer report, status 0),
// keep the place reached (a stop is never the end of the part), leave a status that no later start
// takes for playing, and remove the run's temporary folder. Books dropped while the player is open
// reach the library.
// tests/repeat_quit_while_playing.sh runs this many times in a row.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "audio/audio_engine.h"
#include "library/library_screen.h"
#include "support/audio_fixtures.h"
#include "support/epub_builder.h"
#include "support/program_shot.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"

#ifdef QL_TEST_QUILLO

namespace {
using namespace std::chrono_literals;
constexpr int kRunLimitMs = 60000;
constexpr double kResumeAt = 10;       // the place saved before the run
constexpr double kPlayedSeconds = 1.5;  // how far playback gets from there before the quit
// The player's taps in portrait: the Play button (the middle of the first row) and the header.
constexpr int kPlayX = kW / 2, kPlayY = 900;
constexpr int kLeaveX = kW / 2, kLeaveY = 100;
// The first row's middle button, whose label is "Play" or "Pause".
constexpr int kPlayBoxLeft = 48 + (kW - 96) / 3, kPlayBoxTop = 826;
constexpr int kPlayBoxWidth = (kW - 96) / 3, kPlayBoxHeight = 150;
// Where the error banner is written, below the buttons.
constexpr int kBannerTop = 1250, kBannerHeight = 150;

// The books played: their readers differ in how they end a read when the engine is stopped.
struct BookFormat {
  const char* name;
  int rate;
  const char* codec;
};
constexpr BookFormat kBookFormats[] = {{"Talk.wav", 8000, "-c:a pcm_s16le"},
                                       {"Talk.mp3", 22050, "-c:a libmp3lame"},
                                       {"Talk.opus", 48000, "-c:a libopus"}};

struct Session {
  TempDir dir;
  std::string data = dir / "data";
  std::string tmp = dir / "tmp";
  std::string device_book;
  std::string book;
  std::string state = data + "/ql/state";
  std::string script = dir / "script";

  explicit Session(const BookFormat& format)
      : device_book(std::string("/mnt/us/documents/") + format.name),
        book(data + "/documents/" + format.name) {
    run_command("mkdir -p '" + data + "/documents' '" + state + "' '" + tmp + "'");
    EXPECT_TRUE(make_test_audio(book, 30, format.rate, 1, format.codec));
    char saved[32];
    snprintf(saved, sizeof saved, "%.1f\n", kResumeAt);
    write_file(position_file(), saved);
  }
  std::string position_file() const {
    return data + audio_position_path(device_book).substr(strlen("/mnt/us"));
  }
  // Starts the program on the audiobook (or on `open`) with the script so far; the script may
  // grow later.
  int start(const std::string& lines, const std::string& open = "") {
    write_file(script, lines);
    const EnvList env = {{"CVNL_DATA", data},       {"CVNL_HEADLESS", "1"},
                         {"CVNL_TEST", script},     {"CVNL_NO_SAMPLES", "1"},
                         {"TMPDIR", tmp},           {"SDL_AUDIODRIVER", "dummy"}};
    return start_program(QL_TEST_QUILLO, {"--open", open.empty() ? book : open}, env);
  }
  void add(const std::string& lines) { write_file(script, read_file(script) + lines); }
  std::string log() const { return read_file(data + "/ql/quillo.log"); }
};

std::string tap(int x, int y) {
  return "tap " + std::to_string(x) + " " + std::to_string(y) + "\nidle\n";
}

// Waits on the engine, not on time: the status of a part playing at least `seconds` in.
std::optional<AudioStatus> wait_playing(const std::string& status_path, double seconds) {
  const auto end = std::chrono::steady_clock::now() + 30s;
  while (std::chrono::steady_clock::now() < end) {
    const std::string text = read_file(status_path);
    AudioStatus s;
    if (sscanf(text.c_str(), "%lf %lf %d", &s.position, &s.duration, &s.playing) == 3 &&
        s.playing == 1 && s.position >= seconds)
      return s;
    std::this_thread::sleep_for(20ms);
  }
  return std::nullopt;
}

// Pixels darker than mid-grey in a box of a PGM screenshot.
int dark_pixels(const std::string& pgm, int left, int top, int width, int height) {
  int dark = 0;
  for (int y = top; y < top + height; ++y)
    for (int x = left; x < left + width; ++x) dark += grey_at(pgm, x, y) < 128;
  return dark;
}

bool same_box(const std::string& a, const std::string& b, int left, int top, int width, int height) {
  for (int y = top; y < top + height; ++y)
    for (int x = left; x < left + width; ++x)
      if (grey_at(a, x, y) != grey_at(b, x, y)) return false;
  return true;
}

// One session: Play, wait until the part has played a little past its saved place, then quit,
// from the library (`leave_first`) or from the player itself.
void play_and_quit(const BookFormat& format, bool leave_first) {
  Session s(format);
  // An error note an earlier run left behind says nothing about this one.
  write_file(s.state + "/audio.err", "cannot-decode\n");
  const std::string before = s.dir / "before.pgm";
  const int pid = s.start("idle\nshot " + before + "\n" + tap(kPlayX, kPlayY));
  ASSERT_GT(pid, 0);
  const std::optional<AudioStatus> playing =
      wait_playing(s.state + "/audio.status", kResumeAt + kPlayedSeconds);
  if (!playing) {
    s.add("quit\n");
    wait_program(pid, kRunLimitMs);
    FAIL() << "never played\n" << s.log();
  }
  s.add((leave_first ? tap(kLeaveX, kLeaveY) : std::string()) + "quit\n");
  const ProgramResult r = wait_program(pid, kRunLimitMs);
  const std::string log = s.log();
  ASSERT_FALSE(r.timed_out) << log;
  EXPECT_EQ(r.status, 0) << log;
  EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << log;
  EXPECT_EQ(log.find("runtime error"), std::string::npos) << log;

  // The place reached is kept, not the one of the last periodic save, nor forgotten as if the
  // part had ended.
  ASSERT_TRUE(file_exists(s.position_file())) << "the quit was taken for the end of the part";
  const double saved = atof(read_file(s.position_file()).c_str());
  EXPECT_GE(saved, playing->position - 0.05) << read_file(s.position_file());
  // The status left behind says the engine stopped.
  int status_playing = -1;
  const std::string status = read_file(s.state + "/audio.status");
  double position = 0, duration = 0;
  ASSERT_EQ(sscanf(status.c_str(), "%lf %lf %d", &position, &duration, &status_playing), 3)
      << status;
  EXPECT_EQ(status_playing, 0) << status;
  EXPECT_NEAR(position, saved, 0.051) << status;
  EXPECT_EQ(entries_in(s.tmp), 0u) << "the run's temporary folder is left behind";

  // Started again at once, the player offers Play (the engine is gone) and shows no banner.
  const std::string again = s.dir / "again.pgm";
  const int pid2 = s.start("idle\nshot " + again + "\nquit\n");
  const ProgramResult r2 = wait_program(pid2, kRunLimitMs);
  ASSERT_EQ(r2.status, 0) << s.log();
  const std::string first = read_file(before), second = read_file(again);
  ASSERT_EQ(first.size(), sizeof kPgmHead - 1 + size_t(kW) * kH);
  ASSERT_EQ(second.size(), first.size());
  EXPECT_TRUE(same_box(first, second, kPlayBoxLeft, kPlayBoxTop, kPlayBoxWidth, kPlayBoxHeight))
      << "the button no longer reads Play";
  EXPECT_EQ(dark_pixels(first, 48, kBannerTop, kW - 96, kBannerHeight), 0)
      << "an old error note shown as this run's";
}

class AudioSession : public testing::TestWithParam<BookFormat> {};

TEST_P(AudioSession, QuitFromThePlayerWhilePlaying) { play_and_quit(GetParam(), false); }

TEST_P(AudioSession, QuitFromTheLibraryWhilePlaying) { play_and_quit(GetParam(), true); }

// A book that could not be played keeps its banner across a restart, as long as the error note
// stands (the next start of the engine removes it); another book shows none.
TEST(AudioSessionNote, ABookThatCouldNotBePlayedKeepsItsBannerAfterARestart) {
  Session s(kBookFormats[0]);
  const std::string broken = s.data + "/documents/Broken.mp3";
  write_file(broken, std::string(20000, 'x'));
  const std::string first = s.dir / "first.pgm", again = s.dir / "again.pgm",
                    other = s.dir / "other.pgm";
  struct Run {
    std::string script, book;
  };
  const Run kRuns[] = {{"idle\n" + tap(kPlayX, kPlayY) + "shot " + first + "\nquit\n", broken},
                       {"idle\nshot " + again + "\nquit\n", broken},
                       {"idle\nshot " + other + "\nquit\n", s.book}};
  for (const Run& run : kRuns) {
    const ProgramResult r = wait_program(s.start(run.script, run.book), kRunLimitMs);
    ASSERT_EQ(r.status, 0) << s.log();
  }
  EXPECT_EQ(read_file(s.state + "/audio.err"), "cannot-decode\n");
  EXPECT_GT(dark_pixels(read_file(first), 48, kBannerTop, kW - 96, kBannerHeight), 0);
  EXPECT_GT(dark_pixels(read_file(again), 48, kBannerTop, kW - 96, kBannerHeight), 0)
      << "the banner was lost in the restart";
  EXPECT_EQ(dark_pixels(read_file(other), 48, kBannerTop, kW - 96, kBannerHeight), 0)
      << "another book shows the note";
}

// Books added while the player, or a toast over it, is open are taken in there: an EPUB is listed
// and audiobook archives unpacked by the time the player is left.
TEST(AudioSessionAdded, BooksDroppedOnThePlayerReachTheLibrary) {
  Session s(kBookFormats[0]);
  const std::string epub = s.dir / "Dawn.epub", wav = s.dir / "01.wav";
  write_file(epub, build_epub(simple_book({"<p>Dawn</p>"})));
  ASSERT_TRUE(make_test_audio(wav, 1, 8000, 1, "-c:a pcm_s16le"));
  for (const char* name : {"Rec.zip", "Toast.zip"})
    write_file(s.dir / name, zipw::build({{"01.wav", read_file(wav)}}));
  // "Chapters" before any play shows a toast, which waits while the first archive arrives; the
  // others come while the player waits.
  const int pid = s.start("idle\n" + tap(200, 1050) + "drop " + s.dir / "Toast.zip" + "\nidle\n");
  EXPECT_TRUE(eventually([&] { return file_exists(s.data + "/documents/Toast/01.wav"); }));
  const std::string library = s.dir / "library.pgm";
  s.add("drop " + epub + "\nidle\ndrop " + s.dir / "Rec.zip" + "\nidle\n" + tap(kLeaveX, kLeaveY) +
        "shot " + library + "\nquit\n");
  ASSERT_EQ(wait_program(pid, kRunLimitMs).status, 0) << s.log();
  EXPECT_FALSE(file_exists(s.data + "/documents/Rec.zip"));
  EXPECT_TRUE(file_exists(s.data + "/documents/Rec/01.wav"));
  // The talk, the book and the two recordings: a row each, with ink between its rules.
  const std::string shown = read_file(library);
  const int pitch = library_geometry(kW, kH, false).row_pitch;
  int rows = 0;
  for (int row = 0; row < 4; ++row)
    rows += dark_pixels(shown, 48, kLibraryItemsTop + row * pitch + 20, kW - 96, pitch - 40) > 0;
  EXPECT_EQ(rows, 4);
}

INSTANTIATE_TEST_SUITE_P(Books, AudioSession, testing::ValuesIn(kBookFormats),
                         [](const testing::TestParamInfo<BookFormat>& info) {
                           const std::string name = info.param.name;
                           return name.substr(name.rfind('.') + 1);
                         });
}  // namespace

#endif  // QL_TEST_QUILLO
