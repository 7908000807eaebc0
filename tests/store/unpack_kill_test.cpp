// The real program killed (SIGKILL) at random moments while it unpacks a dropped audiobook
// archive, then started again: the start completes the unpack, so the audiobook is whole in one
// folder, the archive is gone, and no part file, staging folder or journal is left.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"

#ifdef QL_TEST_QUILLO

namespace fs = std::filesystem;

namespace {
constexpr int kRuns = 12;
constexpr int kRecordings = 300;
constexpr int kRunLimitMs = 60000;
constexpr int kLatestKillUs = 20000;

std::string recording(int i) {
  return "recording " + std::to_string(i) + std::string(4000, char('a' + i % 26));
}
std::string recording_name(int i) {
  char name[32];
  snprintf(name, sizeof name, "%03d.mp3", i);
  return name;
}

size_t count_entries(const std::string& dir) {
  std::error_code ec;
  size_t n = 0;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) ++n;
  return n;
}

class UnpackKill : public testing::Test {
 protected:
  TempDir dir_;
  std::string data_ = dir_ / "data";
  std::string docs_ = data_ + "/documents";
  std::string archive_ = dir_ / "Poems.zip";

  void SetUp() override {
    std::vector<zipw::Member> members;
    for (int i = 0; i < kRecordings; ++i) {
      members.emplace_back("Poems/" + recording_name(i), recording(i),
                           i % 2 ? zipw::kStored : zipw::kDeflated);
    }
    write_file(archive_, zipw::build(members));
  }
  EnvList env(const std::string& script) const {
    return {{"CVNL_DATA", data_}, {"CVNL_NO_SAMPLES", "1"},
            {"CVNL_HEADLESS", "1"}, {"CVNL_TEST", script}};
  }
  std::string script(const std::string& name, const std::string& lines) const {
    const std::string path = dir_ / name;
    write_file(path, lines);
    return path;
  }
};

TEST_F(UnpackKill, AStartAfterAKillCompletesTheUnpack) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  const std::string drop = script("drop", "drop " + archive_ + "\nidle\nquit\n");
  const std::string start = script("start", "idle\nquit\n");
  const std::string staging = docs_ + "/.unpacking";
  const std::string journal = docs_ + "/.unpacking.job";
  int killed_while_unpacking = 0;
  for (int run = 0; run < kRuns; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    fs::remove_all(data_);
    fs::create_directories(docs_);
    const int pid = start_program(QL_TEST_QUILLO, {}, env(drop));
    ASSERT_GT(pid, 0);
    // Most runs are killed while recordings come out, after a random number of them; the others
    // a random moment after the unpack began, which reaches its last steps too.
    const bool while_writing = run % 3 != 2;
    const size_t written = std::uniform_int_distribution<size_t>(0, kRecordings - 1)(random);
    bool began = false;
    while (!has_ended(pid)) {
      if (while_writing ? count_entries(staging) > written : fs::exists(journal)) {
        began = true;
        break;
      }
      std::this_thread::yield();
    }
    if (began && !while_writing) {
      std::this_thread::sleep_for(std::chrono::microseconds(
          std::uniform_int_distribution<int>(0, kLatestKillUs)(random)));
    }
    killed_while_unpacking += began && !has_ended(pid);
    kill_program(pid);

    const ProgramResult r = run_program(QL_TEST_QUILLO, {}, env(start), kRunLimitMs);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> expected{"Poems"};
    for (int i = 0; i < kRecordings; ++i) expected.push_back("Poems/" + recording_name(i));
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(everything_below(docs_), expected);
    for (int i = 0; i < kRecordings; ++i) {
      ASSERT_EQ(read_file(docs_ + "/Poems/" + recording_name(i)), recording(i)) << i;
    }
  }
  // The kills must have landed while the unpack ran, or nothing was tested.
  EXPECT_GE(killed_while_unpacking, kRuns / 2);
}

}  // namespace

#endif
