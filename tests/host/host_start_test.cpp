// Start-up: seed copying, the log limit and the time-zone offset in-process; the headless program
// driven end to end by test scripts.
#include "host/host_start.h"
#include "support/event_ceiling.h"
#include "support/program_session.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <cstdlib>
#include <ctime>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace fs = std::filesystem;

TEST(CopySeed, KeepsUserFilesUnlessOverwriting) {
  TempDir src, dst;
  write_file(src / "settings.txt", "seed");
  fs::create_directories(src / "ql/state/empty");
  write_file(src / "ql/state/font.txt", "serif");
  write_file(dst / "settings.txt", "mine");

  copy_seed(src.path(), dst.path(), false);
  EXPECT_EQ(read_file(dst / "settings.txt"), "mine");
  EXPECT_EQ(read_file(dst / "ql/state/font.txt"), "serif");
  EXPECT_TRUE(fs::is_directory(dst / "ql/state/empty"));

  copy_seed(src.path(), dst.path(), true);
  EXPECT_EQ(read_file(dst / "settings.txt"), "seed");
  EXPECT_FALSE(fs::exists(dst / "settings.txt.part"));

  copy_seed(src / "missing", dst.path(), true);  // nothing there: nothing happens
}

TEST(StartLog, RemovedOnlyPastTheLimit) {
  TempDir dir;
  struct Case {
    long size;
    bool kept;
  } cases[] = {{0, true}, {kLogLimit, true}, {kLogLimit + 1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const std::string log = dir / "quillo.log";
    write_file(log, std::string(static_cast<size_t>(c.size), 'x'));
    trim_log(log);
    EXPECT_EQ(fs::exists(log), c.kept);
  }
}

TEST(StartTimeZone, MinutesTruncatedTowardZero) {
  const char* old = getenv("TZ");
  const std::string saved = old ? old : "";
  struct Case {
    const char* tz;
    const char* minutes;
  } cases[] = {{"UTC0", "0"}, {"XST+3:30", "-210"}, {"IST-5:30", "330"}, {"NPT-5:45", "345"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tz);
    setenv("TZ", c.tz, 1);
    tzset();
    EXPECT_EQ(tz_minutes_text(), c.minutes);
  }
  if (old) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

#ifdef QL_TEST_QUILLO

namespace {

constexpr int kRunLimitMs = 60000;

struct HeadlessRun {
  TempDir dir;
  std::string data = dir / "data";
  std::string script = dir / "script";

  ProgramResult run(const std::string& lines, EnvList extra = {}) {
    write_file(script, lines);
    EnvList env = {{"CVNL_HEADLESS", "1"}, {"CVNL_DATA", data}, {"CVNL_TEST", script},
                   {"CVNL_NO_SAMPLES", "1"}};
    env.insert(env.end(), extra.begin(), extra.end());
    return run_program(QL_TEST_QUILLO, {}, env, kRunLimitMs);
  }
};

}  // namespace

TEST(HeadlessProgram, StartsTheDataFolderAndQuitsWithStatusZero) {
  HeadlessRun r;
  const ProgramResult res = r.run("idle\nquit\n");
  ASSERT_FALSE(res.timed_out);
  EXPECT_EQ(res.status, 0);
  for (const char* sub : {"documents", "ql/state", "ql/trash", "ql/bundled"}) {
    SCOPED_TRACE(sub);
    EXPECT_TRUE(fs::is_directory(r.data + "/" + sub));
  }
  EXPECT_TRUE(fs::exists(r.data + "/ql/quillo.log"));  // standard error went to the log
  // The core saved its state before ending.
  EXPECT_TRUE(fs::exists(r.data + "/ql/state/settings.txt"));
  EXPECT_TRUE(fs::exists(r.data + "/ql/state/library.tsv"));
}

// Pixels of a P6 frame with the given colour.
static size_t count_rgb(const std::string& ppm, const char* rgb) {
  const size_t head = ppm.find("255\n") + 4;
  size_t n = 0;
  for (size_t i = head; i + 3 <= ppm.size(); i += 3) n += ppm.compare(i, 3, rgb, 3) == 0 ? 1 : 0;
  return n;
}

TEST(HeadlessProgram, SizeThemeAndDrop) {
  HeadlessRun r;
  write_file(r.dir / "Dropped Book.epub", "epub bytes");
  const std::string grey = r.dir / "grey.pgm";
  const std::string light = r.dir / "light.ppm";
  const std::string dark = r.dir / "dark.ppm";
  const ProgramResult res =
      r.run("idle\nshot " + grey + "\nshotc " + light + "\ntheme 1\nidle\nshotc " + dark +
                "\ndrop " + r.dir / "Dropped Book.epub" + "\nidle\nquit\n",
            {{"CVNL_SIZE", "600x800"}});
  ASSERT_FALSE(res.timed_out);
  EXPECT_EQ(res.status, 0);
  EXPECT_EQ(read_file(grey).size(), std::string("P5\n600 800\n255\n").size() + 600 * 800);
  const std::string head = "P6\n600 800\n255\n";
  const std::string a = read_file(light), b = read_file(dark);
  ASSERT_EQ(a.size(), head.size() + 600 * 800 * 3);
  ASSERT_EQ(b.size(), a.size());
  EXPECT_EQ(a.substr(0, head.size()), head);
  // The program follows the system's appearance: its paper turns dark (the screen itself may
  // differ a little between the two frames, a clock for one).
  const double paper = count_rgb(a, "\xec\xee\xee");  // (236, 238, 238)
  EXPECT_GT(paper, 600 * 800 / 4);
  EXPECT_NEAR(count_rgb(b, "\x1d\x29\x25"), paper, 600 * 800 / 100);
  EXPECT_LT(count_rgb(b, "\xec\xee\xee"), 600u * 800 / 4);
  EXPECT_EQ(read_file(r.data + "/documents/Dropped Book.epub"), "epub bytes");
}

// A second start on a data folder in use, by another name of it too, says so and ends changing
// nothing there, its log included: each program would save its notes over the other's.
TEST(HeadlessProgram, ASecondStartOnADataFolderInUseSaysSoAndChangesNothing) {
  ProgramSession s;
  const std::string shot = s.dir / "shot.pgm", err = s.dir / "err";
  const auto stamps = [&](std::string out = "") {  // every name below the data folder, its time
    for (const auto& f : fs::recursive_directory_iterator(s.data))
      out += f.path().string() + ' ' +
             std::to_string(f.last_write_time().time_since_epoch().count()) + '\n';
    return out;
  };
  const int first = s.start(QL_TEST_QUILLO, {}, "idle\nshot " + shot + "\n");
  ASSERT_TRUE(eventually([&] { return file_exists(shot); }));
  const std::string before = stamps();
  fs::create_directory_symlink(s.data, s.dir / "link");
  // Standard error as a terminal takes it, where the log does not.
  const ProgramResult second =
      run_program("sh", {"-c", "exec \"$0\" 2>\"$1\"", QL_TEST_QUILLO, err},
                  {{"CVNL_HEADLESS", "1"}, {"CVNL_DATA", s.dir / "link/"}}, kRunLimitMs);
  EXPECT_EQ(second.status, 1);
  EXPECT_NE(read_file(err).find("already running on this data folder"), std::string::npos);
  EXPECT_EQ(stamps(), before);
  s.add("quit\n");
  EXPECT_EQ(wait_program(first, kRunLimitMs).status, 0);
}

TEST(HeadlessProgram, ScriptMayAppearAfterStart) {
  HeadlessRun r;
  const std::string late = r.dir / "late";
  write_file(r.script, "");
  const int pid = start_program(QL_TEST_QUILLO, {},
                                {{"CVNL_HEADLESS", "1"}, {"CVNL_DATA", r.data},
                                 {"CVNL_TEST", late}, {"CVNL_NO_SAMPLES", "1"}});
  ASSERT_GT(pid, 0);
  // The program has started once it made its data folder; the script appears after that.
  const auto deadline = std::chrono::steady_clock::now() + kEventCeiling;
  while (!fs::exists(r.data + "/ql/state") && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  write_file(late + ".part", "quit\n");
  fs::rename(late + ".part", late);
  const ProgramResult res = wait_program(pid, kRunLimitMs);
  ASSERT_FALSE(res.timed_out);
  EXPECT_EQ(res.status, 0);
}

#endif  // QL_TEST_QUILLO
