// SIGTERM and SIGHUP (a desktop session ending, a terminal closed, a shutdown) end the real program
// as Quit does, before its sound output is loaded and while it plays: status 0, the quit's saves
// made, the place reached kept, the run's temporary folder removed. Before, both signals ended the
// program on the spot until SDL was loaded, and SDL then turned SIGTERM into a quit event of its
// own, which nobody read.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_engine.h"
#include "base/file_copy.h"
#include "support/audio_fixtures.h"
#include "support/program_session.h"

#ifdef QL_TEST_QUILLO

namespace fs = std::filesystem;

namespace {
constexpr int kRunLimitMs = 60000;
constexpr double kPlayedSeconds = 0.5;

TEST(QuitSignals, EndTheProgramAsQuitDoesWhateverIsLoaded) {
  struct Case {
    const char* name;
    int signal;
    bool playing;
  } cases[] = {
      {"SIGTERM before any sound", SIGTERM, false},
      {"SIGHUP before any sound", SIGHUP, false},
      {"SIGTERM while playing", SIGTERM, true},
      {"SIGHUP while playing", SIGHUP, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProgramSession s;
    const std::string book = s.docs + "/Talk.wav";
    ASSERT_TRUE(make_test_audio(book, 30, 8000, 1, "-c:a pcm_s16le"));
    const std::string shown = s.dir / "shown.pgm";
    const std::string play = "tap " + std::to_string(kPlayerPlayX) + " " +
                             std::to_string(kPlayerPlayY) + "\nidle\n";
    const int pid =
        s.start(QL_TEST_QUILLO, {"--open", book}, "idle\nshot " + shown + "\n" + (c.playing ? play : ""));
    ASSERT_GT(pid, 0);
    // Up and waiting for input (its frame was taken), or playing.
    const bool ready = c.playing ? wait_playing(s.state, kPlayedSeconds)
                                 : eventually([&] { return file_exists(shown); });
    ASSERT_TRUE(ready) << s.log();
    fs::remove(s.state + "/ui.txt");  // the quit writes it again
    kill(pid, c.signal);
    const ProgramResult r = wait_program(pid, kRunLimitMs);
    ASSERT_FALSE(r.timed_out) << s.log();
    EXPECT_EQ(r.status, 0) << s.log();
    EXPECT_TRUE(file_exists(s.state + "/ui.txt"));
    EXPECT_EQ(everything_below(s.tmp), std::vector<std::string>{}) << "the run's folder is left";
    if (c.playing) {
      const std::string position =
          s.data + audio_position_path("/mnt/us/documents/Talk.wav").substr(strlen("/mnt/us"));
      EXPECT_GE(atof(read_file(position).c_str()), kPlayedSeconds) << read_file(position);
    }
  }
}

// A quit right after a drop used to end the program at once: the book was not added, its part
// file stayed until the next start, and nothing was said. Now the copy arrives within the grace,
// or it is stopped, removed and named.
TEST(QuitSignals, ABookBeingCopiedInArrivesOrIsNamed) {
  ProgramSession s;
  const std::string bytes(size_t{64} << 20, 'b');
  const std::string source = s.dir / "Big Book.epub";
  write_file(source, bytes);
  const int pid = s.start(QL_TEST_QUILLO, {}, "idle\ndrop " + source + "\n");
  ASSERT_GT(pid, 0);
  const auto copying = [&] {
    for (const auto& e : fs::directory_iterator(s.docs))
      if (is_copy_part_name(e.path().filename().string())) return true;
    return false;
  };
  // Watched closely: the copy is soon over.
  while (!copying() && !file_exists(s.docs + "/Big Book.epub") && !has_ended(pid))
    std::this_thread::yield();
  ASSERT_TRUE(copying()) << "the copy was not seen under way\n" << s.log();
  kill(pid, SIGTERM);
  const ProgramResult r = wait_program(pid, kRunLimitMs);
  ASSERT_FALSE(r.timed_out) << s.log();
  EXPECT_EQ(r.status, 0) << s.log();
  EXPECT_FALSE(copying());
  const bool named =
      s.log().find("Could not finish copying Big Book.epub into the library.") != std::string::npos;
  if (file_exists(s.docs + "/Big Book.epub")) {
    EXPECT_TRUE(read_file(s.docs + "/Big Book.epub") == bytes);
    EXPECT_FALSE(named) << s.log();
  } else {
    EXPECT_TRUE(named) << s.log();
  }
}

}  // namespace

#endif
