// kill -9 of the real program at random moments while it copies a dropped book in, saves the
// reading position page after page, and plays an audiobook; then a start over the same folders:
// no part file, temporary file or per-run folder of the killed run is left, the user's own files
// (a ".part" file of theirs too) are as they were, and what was saved is whole.
#include <gtest/gtest.h>

#include <cstdio>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "audio/audio_engine.h"
#include "base/file_copy.h"
#include "book/annotations.h"
#include "support/audio_fixtures.h"
#include "support/epub_builder.h"
#include "support/program_session.h"

#ifdef QL_TEST_QUILLO

namespace fs = std::filesystem;

namespace {
constexpr int kRounds = 4;
constexpr int kRunLimitMs = 60000;
constexpr size_t kBigBook = size_t{96} << 20;
constexpr char kUsersPart[] = "documents/Mine.epub.part";
constexpr char kUsersBytes[] = "a download of the user's own, half done";

// What a killed run may leave: part files of copies, downloads and conversions, temporary files
// of atomic writes, per-run folders. The user's own ".part" file is theirs.
std::vector<std::string> leftovers(const ProgramSession& s) {
  std::vector<std::string> found;
  for (const std::string& name : everything_below(s.data)) {
    const std::string last = fs::path(name).filename();
    if (name == kUsersPart) continue;
    if (is_copy_part_name(last) || last.ends_with(".tmp") || last.ends_with(".part"))
      found.push_back(name);
  }
  for (const std::string& name : everything_below(s.tmp)) found.push_back("tmp/" + name);
  return found;
}

// A whole position file: "POSITION FONT", what follows them, and the line feed.
bool is_position_line(const std::string& text) {
  size_t position = 0;
  int font = 0;
  return text.ends_with('\n') && text.find('\n') == text.size() - 1 &&
         sscanf(text.c_str(), "%zu %d", &position, &font) == 2;
}

class KillRestart : public testing::Test {
 protected:
  void SetUp() override { write_file(s_.data + "/" + kUsersPart, kUsersBytes); }
  // A start after the kill, quitting at once: it tidies what the killed run left.
  void start_again() {
    const int pid = s_.start(QL_TEST_QUILLO, {}, "idle\nquit\n");
    const ProgramResult r = wait_program(pid, kRunLimitMs);
    ASSERT_FALSE(r.timed_out) << s_.log();
    ASSERT_EQ(r.status, 0) << s_.log();
    EXPECT_EQ(leftovers(s_), std::vector<std::string>{});
    EXPECT_EQ(read_file(s_.data + "/" + kUsersPart), kUsersBytes);
  }
  // A kill at a random moment of the next `range_ms`.
  void kill_soon(int pid, int range_ms) {
    std::this_thread::sleep_for(std::chrono::microseconds(
        std::uniform_int_distribution<int>(0, range_ms * 1000)(random_)));
    kill_program(pid);
  }

  const unsigned seed_ = std::random_device{}();
  std::mt19937 random_{seed_};
  ProgramSession s_;
};

TEST_F(KillRestart, DuringDrops) {
  SCOPED_TRACE("seed " + std::to_string(seed_));
  std::string bytes(kBigBook, '\0');
  for (size_t i = 0; i < bytes.size(); i += 4096) bytes[i] = static_cast<char>(i >> 12);
  const std::string source = s_.dir / "Big Book.epub";
  write_file(source, bytes);
  int killed_while_copying = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    fs::remove(s_.docs + "/Big Book.epub");
    const int pid = s_.start(QL_TEST_QUILLO, {}, "drop " + source + "\nidle\n");
    ASSERT_GT(pid, 0);
    // Whatever name the copy is written under, it is the one other entry there.
    const auto copying = [&] {
      for (const auto& e : fs::directory_iterator(s_.docs)) {
        const std::string name = e.path().filename();
        if (name != "Big Book.epub" && "documents/" + name != kUsersPart) return true;
      }
      return false;
    };
    // Watched closely: a copy into a fast storage is soon over.
    while (!copying() && !file_exists(s_.docs + "/Big Book.epub") && !has_ended(pid))
      std::this_thread::yield();
    // Every other kill comes at once, the others at a random moment of what follows.
    kill_soon(pid, round % 2 ? 40 : 1);
    killed_while_copying += copying();
    start_again();
    // The book arrived whole or not at all.
    if (file_exists(s_.docs + "/Big Book.epub")) {
      EXPECT_TRUE(read_file(s_.docs + "/Big Book.epub") == bytes);
    }
  }
  // Some kill must have landed during a copy, or nothing was tested.
  EXPECT_GE(killed_while_copying, 1);
}

TEST_F(KillRestart, DuringPositionSaves) {
  SCOPED_TRACE("seed " + std::to_string(seed_));
  std::vector<std::string> chapters;
  for (int i = 0; i < 6; ++i) chapters.push_back(filler_paragraph(i, 2000));
  const std::string book = s_.docs + "/Long.epub";
  write_file(book, build_epub(simple_book(chapters)));
  const std::string position = s_.state + "/" + book_path_key("/mnt/us/documents/Long.epub") + ".pos";
  // Forward and back again, so the position changes with every turn however long it goes on.
  std::string turns;
  for (int i = 0; i < 100; ++i) turns += "tap 1000 700\nidle\ntap 60 700\nidle\n";
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int pid = s_.start(QL_TEST_QUILLO, {"--open", book}, "idle\n" + turns);
    ASSERT_GT(pid, 0);
    // Pages are turning once the position is saved after a turn.
    const std::string before = read_file(position);
    ASSERT_TRUE(eventually([&] { return read_file(position) != before; })) << s_.log();
    kill_soon(pid, 400);
    start_again();
    EXPECT_TRUE(is_position_line(read_file(position))) << read_file(position);
  }
}

TEST_F(KillRestart, DuringPlayback) {
  SCOPED_TRACE("seed " + std::to_string(seed_));
  const std::string book = s_.docs + "/Talk.wav";
  ASSERT_TRUE(make_test_audio(book, 30, 8000, 1, "-c:a pcm_s16le"));
  const std::string position =
      s_.data + audio_position_path("/mnt/us/documents/Talk.wav").substr(strlen("/mnt/us"));
  const std::string play = "tap " + std::to_string(kPlayerPlayX) + " " +
                           std::to_string(kPlayerPlayY) + "\nidle\n";
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    fs::remove(s_.state + "/audio.status");  // what the killed run said is not this run's playing
    const int pid = s_.start(QL_TEST_QUILLO, {"--open", book}, "idle\n" + play);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(wait_playing(s_.state, 0.2)) << s_.log();
    kill_soon(pid, 2500);
    start_again();
    if (file_exists(position)) {
      EXPECT_GT(atof(read_file(position).c_str()), 0.0) << read_file(position);
    }
  }
}

}  // namespace

#endif
