// The download progress screen over a real held download, and the OPDS browser with the device
// script played by a fake runner that parses feeds written here.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <map>
#include <vector>

#include "app/ui/ui_wait.h"
#include "host/services.h"
#include "store/audio_unpack.h"
#include "store/download_progress.h"
#include "store/free_titles.h"
#include "store/opds_browse.h"
#include "store/opds_parse.h"
#include "store_screen_fixture.h"
#include "support/zip_writer.h"

namespace {

constexpr int kMarginX = 48;

class ProgressScreen : public StoreScreen {
 protected:
  void SetUp() override {
    StoreScreen::SetUp();
    ASSERT_TRUE(server_.ready());
    server_.configure(root_);
  }
  // Starts a held download and waits until its first half has arrived.
  void start_held(uint64_t expected) {
    server_.serve("big.epub", std::string(600000, 'b'));
    ASSERT_EQ(ql_dl_start(server_.url("/held/big.epub").c_str(), "/mnt/us/documents/Big.epub",
                          expected),
              1);
    ASSERT_TRUE(eventually([&] { return read_file(doc("Big.epub.part")).size() + 65536 >= 300000; }));
  }
  DownloadServer server_;
};

TEST_F(ProgressScreen, ShowsProgressAndStopsWhenAsked) {
  start_held(600000);
  const std::string name = "Big";
  const ProgressGeometry g{316 + 62};  // one line of name
  shot("progress");
  touches_.touch(500, g.button_y() + 60);  // Stop this download
  shot("stop?");
  tap_confirm_action();
  download_progress_screen(name.data(), name.size());
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(ql_dl_state(nullptr, nullptr), DL_IDLE);
  EXPECT_EQ(entries_in(docs()), 0u);
  EXPECT_FALSE(app.downloads_screen);
  // About half the bar is filled: black near its left end, paper near its right end.
  const int width = W() - 2 * kMarginX;
  EXPECT_EQ(shot_darkest("progress", kMarginX + width / 4, g.bar_y() + 4, 4, 6), 0);
  EXPECT_EQ(shot_darkest("progress", kMarginX + width * 7 / 8, g.bar_y() + 4, 4, 6), 255);
  EXPECT_LT(shot_darkest("progress", kMarginX, g.button_y(), width, 124), 100);
}

TEST_F(ProgressScreen, UnknownSizeShowsAnEmptyBarAndLeavingKeepsTheDownload) {
  start_held(0);
  const ProgressGeometry g{316 + 62};
  shot("unknown");
  tap_back();
  const std::string name = "Big";
  download_progress_screen(name.data(), name.size());
  EXPECT_FALSE(app.downloads_screen);
  EXPECT_EQ(ql_dl_state(nullptr, nullptr), DL_DOWNLOADING);
  const int width = W() - 2 * kMarginX;
  EXPECT_EQ(shot_darkest("unknown", kMarginX + 10, g.bar_y() + 4, width - 20, 6), 255);
  server_.release();
  ASSERT_TRUE(eventually([this] { return !running(); }));
  EXPECT_EQ(ql_dl_state(nullptr, nullptr), DL_DONE);
  EXPECT_EQ(read_file(doc("Big.epub")).size(), 600000u);
}

TEST_F(ProgressScreen, TheFreeBooksMenuLeadsBackToARunningDownload) {
  start_held(600000);
  shot("menu-running");
  tap_row(3);  // "Download: 49%", under the built-in list's three rows
  shot("from-menu");
  tap_back();
  tap_back();
  free_books_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(ql_dl_state(nullptr, nullptr), DL_DOWNLOADING);
  EXPECT_LT(shot_darkest("menu-running", 48, row_y(3) - 40, 600, 60), 100);
  // The progress screen, named by the file: its bar and its button.
  const ProgressGeometry g{316 + 62};
  EXPECT_EQ(shot_darkest("from-menu", kMarginX + 10, g.bar_y() + 4, 10, 6), 0);
  EXPECT_LT(shot_darkest("from-menu", kMarginX, g.button_y(), 200, 124), 100);
}

// An archive without recordings stays, as its own notice says: nothing after it calls it failed.
TEST_F(ProgressScreen, AnArchiveWithoutRecordingsIsToldOnce) {
  server_.serve("poems.zip", zipw::build({{"booklet.pdf", "%PDF"}}));
  ASSERT_EQ(ql_dl_start(server_.url("/files/poems.zip").c_str(), "/mnt/us/documents/Poems.zip", 0), 1);
  ASSERT_TRUE(eventually([] { return !running(); }));
  shot("notice");
  touches_.touch(500, 900);
  shot("after");
  download_progress_screen("Poems", 5);
  EXPECT_TRUE(has_shot("notice") && file_exists(doc("Poems.zip")));
  EXPECT_FALSE(has_shot("after"));
}

// Only a download's own notice stands for its failure, on its screen and after it was left.
TEST_F(ProgressScreen, AFailureIsToldBesideAnotherArchivesNotice) {
  const std::function<void()> ends[] = {[] { download_progress_screen("Gone", 4); },
                                        [] { TapEvent e; ui_wait_event(e); }};
  for (size_t i = 0; i < std::size(ends); ++i) {
    SCOPED_TRACE(i);
    write_file(doc("Poems.zip"), zipw::build({{"01.mp3", "one"}, {"booklet.pdf", "%PDF"}}));
    unpack_archive("/mnt/us/documents", "Poems.zip", std::atomic<uint32_t>{0}, {}, false);
    const std::string gone = server_.url("/files/gone.epub");
    ASSERT_EQ(ql_dl_start(gone.c_str(), "/mnt/us/documents/Gone.epub", 0), 1);
    ASSERT_TRUE(eventually([] { return !running(); }));
    const std::string failure = "failure" + std::to_string(i);
    touches_.touch(500, 900);  // the other archive's notice
    shot(failure);
    ends[i]();
    EXPECT_TRUE(shot_shows_toast(failure, "The download did not complete. Nothing was added."));
  }
}

TEST_F(ProgressScreen, NothingRunningReturnsAtOnce) {
  download_progress_screen("x", 1);
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_FALSE(app.downloads_screen);
}

// The device script for "opds" and "fetch", played in process: feeds by address, books written
// where the command line says.
class FakeMorningScript {
 public:
  // `lists` are opds.list texts written as they stand for their feeds, as another writer might.
  explicit FakeMorningScript(std::map<std::string, std::string> feeds, bool fetch_works = true,
                             std::map<std::string, std::string> lists = {})
      : feeds_(std::move(feeds)), lists_(std::move(lists)), fetch_works_(fetch_works) {
    plat_set_runner([this](const char* cmd, int) { return run(cmd); });
  }
  ~FakeMorningScript() { plat_set_runner({}); }
  std::vector<std::string> commands() {
    std::lock_guard<std::mutex> hold(lock_);
    return commands_;
  }

 private:
  // The single-quoted words of a command line, quotes undone.
  static std::vector<std::string> words(const std::string& cmd) {
    std::vector<std::string> out;
    size_t i = 0;
    while ((i = cmd.find('\'', i)) != std::string::npos) {
      std::string w;
      ++i;
      for (;;) {
        const size_t q = cmd.find('\'', i);
        if (q == std::string::npos) return out;
        w += cmd.substr(i, q - i);
        if (cmd.compare(q, 4, "'\\''") != 0) {
          i = q + 1;
          break;
        }
        w += '\'';
        i = q + 4;
      }
      out.push_back(w);
    }
    return out;
  }
  int run(const std::string& cmd) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      commands_.push_back(cmd);
    }
    const std::vector<std::string> w = words(cmd);
    if (cmd.starts_with("sh /mnt/us/ql/bin/ql-morning.sh opds ") && w.size() == 1) {
      if (auto list = lists_.find(w[0]); list != lists_.end()) {
        FILE* f = qlp_fopen("/mnt/us/ql/state/opds.list", "w");
        fwrite(list->second.data(), 1, list->second.size(), f);
        fclose(f);
        return 0;
      }
      auto feed = feeds_.find(w[0]);
      if (feed == feeds_.end()) return 1;
      FILE* f = qlp_fopen("/tmp/feed.xml", "w");
      fwrite(feed->second.data(), 1, feed->second.size(), f);
      fclose(f);
      setenv("QL_OPDS_FEED", w[0].c_str(), 1);
      ql_opds_parse("/tmp/feed.xml");
      unsetenv("QL_OPDS_FEED");
      return 0;
    }
    if (cmd.starts_with("sh /mnt/us/ql/bin/ql-morning.sh fetch ") && w.size() == 2 && fetch_works_) {
      FILE* f = qlp_fopen(w[1].c_str(), "w");
      if (!f) return 1;
      fputs(w[0].c_str(), f);
      fclose(f);
      return 0;
    }
    return -1;
  }
  std::map<std::string, std::string> feeds_;
  std::map<std::string, std::string> lists_;
  bool fetch_works_;
  std::mutex lock_;
  std::vector<std::string> commands_;
};

using OpdsBrowser = StoreScreen;

TEST_F(OpdsBrowser, FollowsCataloguesAndFetchesBooksUnderTheirTitles) {
  const std::string root = "https://cat.example.org/opds/root.xml";
  FakeMorningScript script({
      {root, R"(<feed xmlns="http://www.w3.org/2005/Atom">
<entry><title>Popular</title><link rel="subsection" href="popular.xml"/></entry>
<entry><title>Newest</title><link rel="subsection" href="/new.xml"/></entry></feed>)"},
      {"https://cat.example.org/opds/popular.xml", R"(<feed xmlns="http://www.w3.org/2005/Atom">
<entry><title>Война и мир</title><link type="application/epub+zip" href="/b/1.epub?a='q'"/></entry>
<entry><title>Anna Karenina</title><link type="application/epub+zip" href="/b/2.epub"/></entry></feed>)"},
  });
  write_file(doc("Война и мир.epub"), "someone else's");
  shot("feed");
  tap_row(0);  // Popular
  shot("popular");
  tap_row(0);  // the book
  touches_.touch(500, 1000);  // dismisses "Downloaded to library"
  opds_browse(root.data(), root.size());
  EXPECT_TRUE(ScriptedTouch::done());
  const std::vector<std::string> cmds = script.commands();
  ASSERT_EQ(cmds.size(), 3u);
  EXPECT_EQ(cmds[0], "sh /mnt/us/ql/bin/ql-morning.sh opds '" + root + "' >/dev/null 2>&1");
  EXPECT_EQ(cmds[2], "sh /mnt/us/ql/bin/ql-morning.sh fetch "
                     "'https://cat.example.org/b/1.epub?a='\\''q'\\''' "
                     "'/mnt/us/documents/Война и мир (2).epub' >/dev/null 2>&1");
  // The book arrived beside the one of the same name, which is untouched.
  EXPECT_EQ(read_file(doc("Война и мир (2).epub")), "https://cat.example.org/b/1.epub?a='q'");
  EXPECT_EQ(read_file(doc("Война и мир.epub")), "someone else's");
  EXPECT_LT(shot_darkest("popular", 48, row_y(1) - 40, 600, 60), 100);
  EXPECT_EQ(shot_darkest("popular", 48, row_y(2) - 40, 600, 60), 255);
}

TEST_F(OpdsBrowser, AnUnreachableFeedNeverShowsAnOldList) {
  write_file(root_.state("opds.list"), "E\tStale\thttps://old.example/x.epub\n");
  FakeMorningScript script({});
  ql_clear();
  shot("unreachable");
  touches_.touch(500, 1000);
  const std::string feed = "https://gone.example/feed";
  opds_browse(feed.data(), feed.size());
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_FALSE(file_exists(root_.state("opds.list")));
  EXPECT_EQ(script.commands().size(), 1u);
  // Only the message box: no list rows.
  EXPECT_EQ(shot_darkest("unreachable", 48, row_y(0) - 40, 600, 60), 255);
  EXPECT_LT(shot_darkest("unreachable", 100, H() - 150, W() - 200, 40), 100);
}

TEST_F(OpdsBrowser, AFetchThatBroughtNothingIsNotCalledDownloaded) {
  const std::string root = "https://cat.example.org/r.xml";
  FakeMorningScript script(
      {{root, R"(<feed><entry><title>Gone</title><link type="application/epub+zip" href="/g.epub"/></entry></feed>)"}},
      false);
  tap_row(0);
  shot("not-downloaded");
  touches_.touch(500, 1000);
  opds_browse(root.data(), root.size());
  EXPECT_EQ(entries_in(docs()), 0u);
  EXPECT_LT(shot_darkest("not-downloaded", 100, H() - 150, W() - 200, 40), 100);
}

// The longest row the parser writes reaches the fetch whole; a longer line another writer left is
// not offered at all, cut or not, and the rows after it still are.
TEST_F(OpdsBrowser, RowsAreOfferedWholeOrNotAtAll) {
  const std::string root = "https://cat.example.org/r.xml";
  const std::string title(kFeedTitleMax, 't');
  const std::string href = "/b/" + std::string(1000, 'a') + ".epub";
  const std::string other = "https://cat.example.org/other.xml";
  FakeMorningScript script(
      {{root, "<feed><entry><title>" + title + "</title><link type=\"application/epub+zip\" href=\"" +
                  href + "\"/></entry></feed>"}},
      true,
      {{other, "E\tCut\thttps://cat.example.org/" + std::string(kFeedListLineMax, 'c') + "\n" +
                   "E\tGood\thttps://cat.example.org/g.epub\n"}});
  tap_row(0);
  touches_.touch(500, 1000);  // dismisses "Downloaded to library"
  opds_browse(root.data(), root.size());
  shot("other");
  tap_row(0);
  touches_.touch(500, 1000);
  opds_browse(other.data(), other.size());
  EXPECT_TRUE(ScriptedTouch::done());
  const std::vector<std::string> cmds = script.commands();
  ASSERT_EQ(cmds.size(), 4u);
  EXPECT_NE(cmds[1].find(" 'https://cat.example.org" + href + "' "), std::string::npos);
  EXPECT_NE(cmds[3].find(" 'https://cat.example.org/g.epub' '/mnt/us/documents/Good.epub' "),
            std::string::npos);
  EXPECT_LT(shot_darkest("other", 48, row_y(0) - 40, 600, 60), 100);
  EXPECT_EQ(shot_darkest("other", 48, row_y(1) - 40, 600, 60), 255);
}

}  // namespace
