#include "shell/app_main.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "shell/errors.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {
ToolMode dispatch(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return app_dispatch(static_cast<int>(args.size()), argv.data());
}

struct ProgramRun {
  int status = -1;
  std::string err;
};

// Runs the built program with a fresh data folder and temporary base, capturing standard error.
class QuilloRun : public testing::Test {
 protected:
  // `data`: the data folder, data_ when empty.
  ProgramRun run(std::vector<std::string> args, const std::string& data = "") {
    args.insert(args.begin(), QL_TEST_QUILLO);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_text = {"CVNL_DATA=" + (data.empty() ? data_.path() : data),
                                         "TMPDIR=" + tmp_.path()};
    for (char** e = environ; *e; ++e) {
      std::string_view v(*e);
      if (!v.starts_with("CVNL_") && !v.starts_with("TMPDIR=") && !v.starts_with("QUILLO_STATE="))
        env_text.emplace_back(v);
    }
    std::vector<char*> env;
    for (auto& e : env_text) env.push_back(e.data());
    env.push_back(nullptr);

    std::string err_path = out_ / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    ProgramRun r;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data()) == 0) {
      int wstatus = 0;
      waitpid(pid, &wstatus, 0);
      r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    }
    posix_spawn_file_actions_destroy(&actions);
    r.err = read_file(err_path);
    return r;
  }


  TempDir data_;
  TempDir tmp_;
  TempDir out_;
};
}  // namespace

TEST(Dispatch, TableInOrder) {
  struct { std::vector<std::string> args; ToolMode mode; } cases[] = {
      {{"quillo"}, ToolMode::Interactive},
      {{}, ToolMode::Interactive},
      {{"quillo", "--render"}, ToolMode::RenderUsage},
      {{"quillo", "--render", "book.epub"}, ToolMode::RenderUsage},
      {{"quillo", "--render", "book.epub", "out.png"}, ToolMode::Render},
      {{"quillo", "--render", "book.epub", "out.png", "3"}, ToolMode::Render},
      {{"quillo", "--hyph", "en", "word"}, ToolMode::Hyphenate},
      {{"quillo", "--hyph", "en"}, ToolMode::Interactive},
      {{"quillo", "--hyph"}, ToolMode::Interactive},
      {{"quillo", "--bench-open", "book.epub"}, ToolMode::BenchOpen},
      {{"quillo", "--bench-open"}, ToolMode::Interactive},
      {{"quillo", "--opds-parse", "feed.xml"}, ToolMode::OpdsParse},
      {{"quillo", "--opds-parse"}, ToolMode::Interactive},
      {{"quillo", "--screen", "library", "out.png"}, ToolMode::Screen},
      {{"quillo", "--screen", "library"}, ToolMode::Interactive},
      {{"quillo", "--open", "book.epub"}, ToolMode::Interactive},
      {{"quillo", "--open"}, ToolMode::Interactive},
      // Options match whole and byte for byte.
      {{"quillo", "--hyphen", "en", "word"}, ToolMode::Interactive},
      {{"quillo", "--HYPH", "en", "word"}, ToolMode::Interactive},
      {{"quillo", "--rende", "a", "b"}, ToolMode::Interactive},
      {{"quillo", "-render", "a"}, ToolMode::Interactive},
  };
  for (auto& c : cases) {
    std::string name;
    for (auto& a : c.args) name += a + " ";
    SCOPED_TRACE(name);
    EXPECT_EQ(dispatch(c.args), c.mode);
  }
}

TEST(Dispatch, ErrorNamesAsPrinted) {
  struct { AppError e; const char* name; } cases[] = {
      {AppError::OutOfMemory, "OutOfMemory"},
      {AppError::PngWriteFailed, "PngWriteFailed"},
      {AppError::FileNotFound, "FileNotFound"},
      {AppError::AccessDenied, "AccessDenied"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_STREQ(app_error_name(c.e), c.name);
  }
}

TEST_F(QuilloRun, HyphenatesEachWordOnStandardError) {
  ProgramRun r = run({"--hyph", "en", "hyphenation"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "hy-phen-ation\n");
  r = run({"--hyph", "en-US", "hyphenation", "a", "cat"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "hy-phen-ation\na\ncat\n");
  r = run({"--hyph", "fi", "kirjoittaa"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "kir-joit-taa\n");
}

TEST_F(QuilloRun, HyphenationOffWritesWordsWhole) {
  ProgramRun r = run({"--hyph", "xx", "hyphenation"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "hyphenation\n");
}

TEST_F(QuilloRun, RenderWithoutPngIsUsage) {
  for (auto args : {std::vector<std::string>{"--render"}, {"--render", "book.epub"}}) {
    SCOPED_TRACE(args.size());
    ProgramRun r = run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(QuilloRun, UnknownScreenExitsThreeWithoutPng) {
  std::string png = out_ / "shot.png";
  for (const char* name : {"nosuch", "Library", ""}) {
    SCOPED_TRACE(name);
    ProgramRun r = run({"--screen", name, png});
    EXPECT_EQ(r.status, 3);
    EXPECT_FALSE(file_exists(png));
    // It says so and names every screen there is.
    EXPECT_TRUE(r.err.starts_with("quillo: there is no screen \"" + std::string(name) + "\"; "))
        << r.err;
    EXPECT_NE(r.err.find("the screens are library, grid, reader, "), std::string::npos) << r.err;
    EXPECT_TRUE(r.err.ends_with(", bookmenu, audio\n")) << r.err;
  }
}

// A screen that shows a book says why it shows none: it is drawn all the same, but for the details
// of a book the documents folder must hold, or a book that cannot be opened.
TEST_F(QuilloRun, ScreensThatShowABookSayWhyWithoutOne) {
  ASSERT_EQ(system(("mkdir -p '" + data_ / "documents'").c_str()), 0);
  write_file(out_ / "broken.epub", "not a book");
  const std::string png = out_ / "shot.png";
  const auto no_book = [](const std::string& screen) {
    return "so the screen \"" + screen + "\" shows none";
  };
  const auto empty_library = [this](const std::string& screen) {
    return "quillo: the screen \"" + screen + "\" shows a book of the documents folder, and " +
           data_ / "documents" + " holds none";
  };
  struct Case {
    std::vector<std::string> args;
    std::string err;  // the end of the last line
  } cases[] = {
      {{"toolbar"}, no_book("toolbar")},
      {{"reader"}, no_book("reader")},
      {{"bookmenu"}, no_book("bookmenu")},
      {{"reader", out_ / "broken.epub"}, "/broken.epub could not be opened"},
      {{"details"}, empty_library("details")},
      {{"thanks2"}, no_book("thanks2")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    std::vector<std::string> args = {"--screen", c.args[0], png};
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    std::filesystem::remove(png);
    const ProgramRun r = run(args);
    const bool drawn = c.err.starts_with("so the screen");
    EXPECT_EQ(r.status, drawn ? 0 : 3);
    EXPECT_EQ(file_exists(png), drawn);
    EXPECT_TRUE(r.err.ends_with(c.err + "\n")) << r.err;
  }
}

TEST_F(QuilloRun, BenchCountZeroDoesNothing) {
  for (const char* count : {"0", "+0", "0_0"}) {
    SCOPED_TRACE(count);
    ProgramRun r = run({"--bench-open", out_ / "missing.epub", count});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(QuilloRun, ToolRunLeavesNoTemporaryFolder) {
  run({"--hyph", "en", "word"});
  run({"--screen", "nosuch", out_ / "x.png"});
  // This screen leaves its sample invoice in the run's /tmp.
  EXPECT_EQ(run({"--screen", "payln", out_ / "pay.png"}).status, 0);
  EXPECT_EQ(entries_in(tmp_.path()), 0u);
}

// A new user's first tool runs, on a data folder that does not exist yet: converted books and
// the feed's list need folders inside it.
TEST_F(QuilloRun, ToolModesMakeTheDataFolderTheyWriteInto) {
  const std::string books = std::string(QL_SOURCE_DIR) + "/tests/book/data/";
  std::string text;
  for (int i = 0; i < 40; ++i) text += "A plain paragraph of text, number " + std::to_string(i) + ".\n\n";
  write_file(out_ / "notes.txt", text);
  const std::string kinds[] = {books + "old.mobi", books + "book.fb2", out_ / "notes.txt"};
  for (size_t i = 0; i < std::size(kinds); ++i) {
    const std::string& book = kinds[i];
    SCOPED_TRACE(book);
    const std::string data = out_ / ("fresh-" + std::to_string(i) + "/data");
    const std::string png = out_ / "page.png";
    const ProgramRun r = run({"--render", book, png}, data);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(png).substr(1, 3), "PNG");
    EXPECT_EQ(entries_in(data + "/ql/state/conv"), 1u);
  }
  write_file(out_ / "feed.xml",
             "<feed><entry><title>Only</title><link type=\"application/epub+zip\" "
             "href=\"https://books.example.org/only.epub\"/></entry></feed>");
  const std::string data = out_ / "fresh-feed/data";
  const ProgramRun r = run({"--opds-parse", out_ / "feed.xml"}, data);
  EXPECT_EQ(r.err, "opds entries 1\n");
  EXPECT_EQ(read_file(data + "/ql/state/opds.list"),
            "E\tOnly\thttps://books.example.org/only.epub\n");
}

// A picture of a page records no position nor progress: the book reads as unopened afterwards.
TEST_F(QuilloRun, ScreenshotOfAPageWritesOnlyItsPng) {
  const std::string book = data_ / "documents/book.fb2";
  ASSERT_EQ(system(("mkdir -p '" + data_ / "documents' '" + data_ / "ql/state'").c_str()), 0);
  write_file(book, read_file(std::string(QL_SOURCE_DIR) + "/tests/book/data/book.fb2"));
  const std::string png = out_ / "page.png";
  for (const char* screen : {"reader", "toolbar", "bookmenu"}) {
    SCOPED_TRACE(screen);
    EXPECT_EQ(run({"--screen", screen, png, book, "2"}).status, 0);
    EXPECT_EQ(read_file(png).substr(1, 3), "PNG");
  }
  // The library scans the book and draws its cover, keeping neither the scan nor the cover.
  std::filesystem::remove(png);
  EXPECT_EQ(run({"--screen", "library", png}).status, 0);
  EXPECT_EQ(read_file(png).substr(1, 3), "PNG");
  // Only the converted book, a cache, is kept.
  std::string written;
  for (const auto& e : std::filesystem::recursive_directory_iterator(data_ / "ql"))
    if (e.is_regular_file() && e.path().parent_path().filename() != "conv")
      written += e.path().string() + "\n";
  EXPECT_EQ(written, "");
}
