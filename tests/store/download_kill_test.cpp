// kill -9 of a program at random moments of a download and of an audiobook archive's unpack, then
// a start of the real program over the same data folder: curl ends with the program that started
// it, and the start leaves no ".part" file and no half-unpacked audiobook, and loses no file.
#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <filesystem>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/paths.h"
#include "download_server.h"
#include "store/download_manager.h"
#include "support/zip_writer.h"

#ifdef QL_TEST_QUILLO

namespace fs = std::filesystem;

namespace {

constexpr int kRandomRounds = 10;
constexpr int kLatestKillMs = 600;
constexpr size_t kParts = 6;
constexpr int kProgramLimitMs = 60000;

std::string recording(size_t n) {
  std::string s(size_t{900000} + n, '\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>((i * 131 + i / 7 + n) & 0xFF);
  return s;
}

// A data folder as the program keeps it, with a book of the reader's own already in it.
struct DataFolder {
  TempDir dir;
  std::string data = dir / "data";
  std::string docs = data + "/documents";
  std::string state = data + "/ql/state";
  std::string tmp = dir / "tmp";
  DataFolder() {
    fs::create_directories(docs);
    fs::create_directories(state);
    fs::create_directories(tmp);
    write_file(docs + "/Mine.epub", "the reader's own book");
  }
};

// A process that starts the download and then waits to be killed: the program at the moment of
// the kill.
pid_t start_downloading(const DataFolder& d, const std::string& url, const std::string& dest) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  ql_set_root(d.data.c_str(), d.tmp.c_str());
  if (!ql_dl_start(url.c_str(), dest.c_str(), 0)) _exit(1);
  for (;;) pause();
}

// True while some process runs a command line holding `text` (curl writing that part file).
bool runs_with(const std::string& text) {
  for (const auto& e : fs::directory_iterator("/proc")) {
    const std::string name = e.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string cmd = read_file(e.path() / "cmdline");
    for (char& c : cmd) c = c ? c : ' ';
    if (cmd.find(text) != std::string::npos) return true;
  }
  return false;
}

// Starts the real program over the folder, lets it deal with what the killed one left (the job's
// record is gone once it has) and quits it.
void start_program_once(const DataFolder& d) {
  const std::string script = d.dir / "script";
  write_file(script, "");
  const int pid = start_program(QL_TEST_QUILLO, {},
                                {{"CVNL_DATA", d.data},
                                 {"CVNL_HEADLESS", "1"},
                                 {"CVNL_NO_SAMPLES", "1"},
                                 {"CVNL_TEST", script},
                                 {"TMPDIR", d.tmp}});
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(eventually([&] { return !file_exists(d.state + "/download-job.txt"); }));
  write_file(script, "idle\nquit\n");
  EXPECT_EQ(wait_program(pid, kProgramLimitMs).status, 0);
}

std::vector<std::string> part_files(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.path().extension() == ".part") out.push_back(e.path());
  }
  return out;
}

class DownloadKill : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.ready()) << "openssl and python3 are needed for the download server";
    std::vector<zipw::Member> members;
    for (size_t i = 0; i < kParts; ++i) {
      members.emplace_back("Tale/" + std::to_string(i + 1) + ".mp3", recording(i),
                           i % 2 ? zipw::kStored : zipw::kDeflated);
    }
    server_.serve("tale.zip", zipw::build(members));
    book_ = recording(kParts);
    server_.serve("book.epub", book_);
  }

  // After the start: the reader's book untouched, no fragment anywhere, and each download either
  // whole or absent: the audiobook's every part in its folder and no archive left, or nothing.
  void expect_whole_or_nothing(const DataFolder& d) {
    EXPECT_EQ(read_file(d.docs + "/Mine.epub"), "the reader's own book");
    EXPECT_EQ(part_files(d.docs), std::vector<std::string>{});
    if (file_exists(d.docs + "/Book.epub")) {
      EXPECT_EQ(read_file(d.docs + "/Book.epub"), book_);
    }
    EXPECT_FALSE(file_exists(d.docs + "/Tale.zip"));
    if (fs::exists(d.docs + "/Tale")) {
      for (size_t i = 0; i < kParts; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(read_file(d.docs + "/Tale/" + std::to_string(i + 1) + ".mp3"), recording(i));
      }
    }
  }

  // One round: the download started by a process killed when `moment` says, then a start.
  template <typename Moment>
  void round(const std::string& url, const std::string& dest, Moment moment) {
    DataFolder d;
    server_.configure_folder(d.data);
    const pid_t pid = start_downloading(d, url, dest);
    ASSERT_GT(pid, 0);
    moment(d);
    kill_program(pid);
    // curl ended with it.
    EXPECT_TRUE(eventually([&] { return !runs_with(d.docs + "/"); }));
    start_program_once(d);
    expect_whole_or_nothing(d);
  }

  DownloadServer server_;
  std::string book_;
};

TEST_F(DownloadKill, DuringTheTransferCurlEndsAndTheStartRemovesTheFragment) {
  round(server_.url("/held/tale.zip"), "/mnt/us/documents/Tale.zip", [](const DataFolder& d) {
    ASSERT_TRUE(eventually([&] { return read_file(d.docs + "/Tale.zip.part").size() > 0; }));
  });
}

TEST_F(DownloadKill, DuringTheUnpackTheStartFinishesIt) {
  round(server_.url("/files/tale.zip"), "/mnt/us/documents/Tale.zip", [](const DataFolder& d) {
    // The unpack's journal stands while the recordings come out; a fast unpack may be over before
    // it is seen, and the start then finds it whole.
    ASSERT_TRUE(eventually([&] {
      return file_exists(d.docs + "/.unpacking.job") || file_exists(d.docs + "/Tale/" + std::to_string(kParts) + ".mp3");
    }));
  });
}

TEST_F(DownloadKill, AtRandomMoments) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  for (int i = 0; i < kRandomRounds; ++i) {
    const bool archive = i % 2 == 0;
    const int after_ms = std::uniform_int_distribution<int>(0, kLatestKillMs)(random);
    SCOPED_TRACE(std::string(archive ? "archive" : "book") + " killed after " +
                 std::to_string(after_ms) + " ms");
    round(server_.url(archive ? "/files/tale.zip" : "/files/book.epub"),
          archive ? "/mnt/us/documents/Tale.zip" : "/mnt/us/documents/Book.epub",
          [after_ms](const DataFolder&) { usleep(useconds_t(after_ms) * 1000); });
  }
}

}  // namespace

#endif
