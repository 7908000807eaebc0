// What each kind of run loads, seen in the real program through the dynamic loader's own log of
// every library it maps: the tool modes and a headless session that plays nothing load neither
// GTK, SDL nor FFmpeg; an MP3 plays through SDL without FFmpeg; an M4B loads FFmpeg with its first
// part and plays as before.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_player.h"
#include "host/ffmpeg_calls.h"
#include "library/library_screen.h"
#include "support/audio_fixtures.h"
#include "support/epub_builder.h"
#include "support/program_shot.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#ifdef QL_TEST_QUILLO

namespace fs = std::filesystem;

namespace {
constexpr int kRunLimitMs = 30000;
constexpr double kPartSeconds = 20;

struct Loaded {
  bool gtk = false;
  bool sdl = false;
  bool ffmpeg = false;
};

class ProgramRun {
 public:
  ProgramRun() { fs::create_directories(docs); }

  // Starts the program with `args`; headless with the test-driver script `script` when it is set.
  int start(const std::vector<std::string>& args, const std::string& script = "") {
    EnvList env = extra_env;
    env.insert(env.end(), {{"CVNL_DATA", data},
                   {"CVNL_NO_SAMPLES", "1"},
                   {"SDL_AUDIODRIVER", "dummy"},
                   {"LD_DEBUG", "files"},
                   {"LD_DEBUG_OUTPUT", dir / "ld"},
                   {"ASAN_OPTIONS", "detect_leaks=0"}});
    if (!script.empty()) {
      write_file(dir / "script", script);
      env.push_back({"CVNL_HEADLESS", "1"});
      env.push_back({"CVNL_TEST", dir / "script"});
    }
    return start_program(QL_TEST_QUILLO, args, env);
  }
  void add_to_script(const std::string& lines) {
    FILE* f = fopen((dir / "script").c_str(), "ab");
    ASSERT_NE(f, nullptr);
    fwrite(lines.data(), 1, lines.size(), f);
    fclose(f);
  }
  // What the process `pid` (now ended) loaded, from the loader's log.
  Loaded loaded(int pid) const {
    const std::string log = read_file(dir / ("ld." + std::to_string(pid)));
    EXPECT_NE(log.find("file="), std::string::npos) << "no loader log";
    auto has = [&](const char* name) { return log.find(std::string("file=") + name) != std::string::npos; };
    return {has("libgtk-3.so"), has("libSDL2"), has("libavcodec.so")};
  }

  TempDir dir;
  std::string data = dir / "data";
  std::string docs = data + "/documents";
  EnvList extra_env;
};

// Waits until the engine reports the part playing and a second of it played: the decoder has
// opened it and is delivering sound. The part's length, -1 when that does not happen.
double wait_for_playing(const std::string& data) {
  const std::string status = data + "/ql/state/audio.status";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRunLimitMs);
  while (std::chrono::steady_clock::now() < deadline) {
    double position = 0, duration = 0;
    int playing = 0;
    if (FILE* f = fopen(status.c_str(), "r")) {
      const int got = fscanf(f, "%lf %lf %d", &position, &duration, &playing);
      fclose(f);
      if (got == 3 && playing == 1 && position >= 1.0) return duration;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

std::string tap(int x, int y) { return "tap " + std::to_string(x) + " " + std::to_string(y) + "\nidle\n"; }

// Starts the program on the library, opens the only book there and presses Play.
int start_playing_only_book(ProgramRun& run) {
  const LibraryGeometry library = library_geometry(kW, kH, false);
  const PlayerGeometry player(kW, kH);
  const int play_x = player.column_x(1) + player.column / 2;
  const int play_y = PlayerGeometry::kRow1Top + PlayerGeometry::kRow1Height / 2;
  EXPECT_EQ(player_button_at(player, play_x, play_y), PlayerButton::PlayPause);
  return run.start({}, "idle\n" +
                           tap(kLibraryLeft + library.cell_w / 2, kLibraryItemsTop + library.row_pitch / 2) +
                           tap(play_x, play_y));
}

// Plays the only book in the library until it sounds, stops it and quits.
Loaded play_only_book(ProgramRun& run) {
  const PlayerGeometry player(kW, kH);
  const int pid = start_playing_only_book(run);
  EXPECT_GT(pid, 0);
  EXPECT_NEAR(wait_for_playing(run.data), kPartSeconds, 0.1) << "the part plays whole";
  const int stop_x = player.column_x(1) + player.column / 2;
  const int stop_y = PlayerGeometry::kRow3Top + PlayerGeometry::kRowHeight / 2;
  EXPECT_EQ(player_button_at(player, stop_x, stop_y), PlayerButton::Stop);
  run.add_to_script(tap(stop_x, stop_y) + "quit\n");
  const ProgramResult r = wait_program(pid, kRunLimitMs);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 0);
  return run.loaded(pid);
}
}  // namespace

TEST(LoadedLibraries, ToolModesAndAQuietSessionLoadNoWindowSoundOrFfmpeg) {
  ProgramRun run;
  const std::string book = run.dir / "book.epub";
  write_file(book, build_epub(simple_book({filler_paragraph(1, 300)})));
  const std::vector<std::vector<std::string>> modes = {
      {"--hyph", "en", "hyphenation"},
      {"--bench-open", book, "1"},
      {"--render", book, run.dir / "page.png"},
      {"--screen", "library", run.dir / "library.png"},
  };
  for (const auto& args : modes) {
    SCOPED_TRACE(args[0]);
    const int pid = run.start(args);
    ASSERT_GT(pid, 0);
    const ProgramResult r = wait_program(pid, kRunLimitMs);
    EXPECT_EQ(r.status, 0);
    const Loaded l = run.loaded(pid);
    EXPECT_FALSE(l.gtk);
    EXPECT_FALSE(l.sdl);
    EXPECT_FALSE(l.ffmpeg);
  }

  SCOPED_TRACE("a headless session on the library");
  const int pid = run.start({}, "idle\nquit\n");
  ASSERT_GT(pid, 0);
  EXPECT_EQ(wait_program(pid, kRunLimitMs).status, 0);
  const Loaded l = run.loaded(pid);
  EXPECT_FALSE(l.gtk);
  EXPECT_FALSE(l.sdl);
  EXPECT_FALSE(l.ffmpeg);
}

TEST(LoadedLibraries, AnMp3PlaysThroughSdlWithoutFfmpeg) {
  ProgramRun run;
  ASSERT_TRUE(make_test_audio(run.docs + "/Book.mp3", kPartSeconds, 44100, 2, "-c:a libmp3lame -b:a 32k"));
  const Loaded l = play_only_book(run);
  EXPECT_TRUE(l.sdl);
  EXPECT_FALSE(l.ffmpeg);
  EXPECT_FALSE(l.gtk);
}

TEST(LoadedLibraries, AnM4bLoadsFfmpegAndPlays) {
  ProgramRun run;
  ASSERT_TRUE(make_test_audio(run.docs + "/Book.m4b", kPartSeconds, 44100, 2, "-c:a aac -b:a 32k"));
  const Loaded l = play_only_book(run);
  EXPECT_TRUE(l.ffmpeg);
  EXPECT_TRUE(l.sdl);
  EXPECT_FALSE(l.gtk);
}

// Without FFmpeg (here a stand-in library of the same name that holds none of its functions, found
// first through LD_LIBRARY_PATH) an M4B is refused as undecodable; nothing crashes or hangs.
TEST(LoadedLibraries, AnM4bWithoutFfmpegCannotBeDecoded) {
  ProgramRun run;
  const std::string fake = run.dir / "libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR);
  if (!run_command("cc -shared -o '" + fake + "' -x c /dev/null 2>/dev/null")) GTEST_SKIP() << "no C compiler";
  run.extra_env = {{"LD_LIBRARY_PATH", run.dir.path()}};
  ASSERT_TRUE(make_test_audio(run.docs + "/Book.m4b", kPartSeconds, 44100, 2, "-c:a aac -b:a 32k"));
  const int pid = start_playing_only_book(run);
  ASSERT_GT(pid, 0);
  const std::string err = run.data + "/ql/state/audio.err";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRunLimitMs);
  while (read_file(err).empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(read_file(err), "cannot-decode\n");
  run.add_to_script("quit\n");
  const ProgramResult r = wait_program(pid, kRunLimitMs);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 0);
}

#endif  // QL_TEST_QUILLO
