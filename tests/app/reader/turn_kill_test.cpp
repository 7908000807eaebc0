// The real program killed (SIGKILL) right after a page turn, once it waits for the next input: the
// next start opens the book on the page the turn showed, for a text book and a PDF, and on the
// tenth turn, which records the library's progress too.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>

#include "support/epub_builder.h"
#include "support/event_ceiling.h"
#include "support/pdf_builder.h"
#include "support/program_shot.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#ifdef QL_TEST_QUILLO

namespace fs = std::filesystem;

namespace {
constexpr int kRunLimitMs = 90000;

std::string text_book() {
  std::vector<std::string> bodies(2);
  for (int c = 0; c < 2; ++c) {
    for (int p = 0; p < 40; ++p) bodies[c] += filler_paragraph(c * 100 + p, 40);
  }
  EpubPlan plan = simple_book(bodies);
  plan.title = "Kill Book";
  return build_epub(plan);
}

std::string pdf_book() {
  PdfPlan plan;
  for (int i = 0; i < 6; ++i) {
    PdfPagePlan page;
    page.texts.push_back({72, 100.f + 40.f * i, 24, "Page " + std::to_string(i + 1)});
    plan.pages.push_back(page);
  }
  return build_pdf(plan);
}

// True once the process has ended (it stays a zombie for wait_program to collect).
bool has_ended(int pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

// True once `path` exists; false when the process ended first or the ceiling passed.
bool wait_for_file(const std::string& path, int pid) {
  const auto deadline = std::chrono::steady_clock::now() + kEventCeiling;
  while (std::chrono::steady_clock::now() < deadline) {
    if (fs::exists(path)) return true;
    if (has_ended(pid)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

std::string turns_script(int turns) {
  std::string s = "idle\n";
  for (int i = 0; i < turns; ++i) s += "tap 1000 800\nidle\n";
  return s;
}
}  // namespace

TEST(TurnKill, AStartAfterAKillFindsThePageOfTheLastTurn) {
  struct Case {
    const char* name;
    const char* file;
    int turns;
  } cases[] = {
      {"one turn of a text book", "Kill Book.epub", 1},
      {"the tenth turn of a text book", "Kill Book.epub", 10},
      {"a PDF page", "Kill Book.pdf", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string data = dir / "data";
    const std::string book = data + "/documents/" + c.file;
    fs::create_directories(data + "/documents");
    write_file(book, fs::path(c.file).extension() == ".pdf" ? pdf_book() : text_book());
    const std::string turned = dir / "turned.pgm";
    const std::string again = dir / "again.pgm";
    const std::string script = dir / "script";
    auto env = [&] {
      return EnvList{{"CVNL_HEADLESS", "1"}, {"CVNL_DATA", data}, {"CVNL_TEST", script},
                     {"CVNL_NO_SAMPLES", "1"}};
    };

    // The script ends without a quit: the program waits for more input until it is killed.
    write_file(script, turns_script(c.turns) + "shot " + turned + "\n");
    const int pid = start_program(QL_TEST_QUILLO, {"--open", book}, env());
    ASSERT_GT(pid, 0);
    const bool shown = wait_for_file(turned, pid);
    kill(pid, SIGKILL);
    wait_program(pid, kRunLimitMs);
    ASSERT_TRUE(shown) << "the turned page was never shown";

    write_file(script, "idle\nshot " + again + "\nquit\n");
    const ProgramResult second = run_program(QL_TEST_QUILLO, {"--open", book}, env(), kRunLimitMs);
    ASSERT_FALSE(second.timed_out);
    ASSERT_EQ(second.status, 0);
    const std::string before = read_file(turned);
    ASSERT_EQ(before.size(), sizeof kPgmHead - 1 + size_t{kW} * kH);
    EXPECT_EQ(read_file(again), before) << "the start shows another page than the last turn";
    if (c.turns % 10 == 0) {
      const std::string index = read_file(data + "/ql/state/library.tsv");
      EXPECT_NE(index.find(std::string(c.file) + "\t"), std::string::npos) << index;
    }
  }
}

#endif
