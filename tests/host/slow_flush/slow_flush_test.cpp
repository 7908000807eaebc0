// A book added from slow storage: this program's fsync holds the flush of its part file until the
// test lets it go. The window's thread (here the test's) hands the book over and never waits for
// its copy; a quit during that flush names exactly the books that do not arrive: that one, gone at
// once, and the one handed over behind it.
#include <gtest/gtest.h>

#include <condition_variable>
#include <dlfcn.h>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "base/paths.h"
#include "host/add_books.h"
#include "host/main_thread.h"
#include "host/plat.h"
#include "support/event_ceiling.h"
#include "support/temp_dir.h"

namespace {
std::mutex mu;
std::condition_variable changed;
bool holding = true;
int held = 0, flushed_by_adder = 0;  // the adding thread's would hold the test itself: never held
const std::thread::id adder = std::this_thread::get_id();
}  // namespace

extern "C" int fsync(int fd) {
  char path[4096];
  const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
  std::unique_lock lock(mu);
  if (holding && n > 0 && std::string(path, n).find("/.quillo-copy-") != std::string::npos) {
    (std::this_thread::get_id() == adder ? flushed_by_adder : held)++;
    changed.notify_all();
    changed.wait(lock, [] { return !holding || flushed_by_adder; });
  }
  lock.unlock();
  return reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"))(fd);
}

TEST(SlowFlush, CopiesBesideTheAddingThreadAndAQuitNamesWhatDidNotArrive) {
  TempDir data, run;
  const std::string docs = data / "documents";
  std::filesystem::create_directories(docs);
  ql_set_root(data.path().c_str(), run.path().c_str());
  for (const char* name : {"Flushing.epub", "Waiting.epub"}) write_file(run / name, "book");
  EXPECT_EQ(add_books({run / "Flushing.epub"}), 1);
  {
    std::unique_lock lock(mu);
    ASSERT_TRUE(changed.wait_for(lock, kEventCeiling, [] { return held + flushed_by_adder > 0; }));
  }
  EXPECT_EQ(flushed_by_adder, 0) << "copied on the thread that handed it over";
  EXPECT_EQ(add_books({run / "Waiting.epub"}), 1);
  EXPECT_EQ(plat_finish_copies(kQuitGraceMs),
            (std::vector<std::string>{"Flushing.epub", "Waiting.epub"}));
  EXPECT_EQ(everything_below(docs), std::vector<std::string>{});
  {
    std::lock_guard lock(mu);
    holding = false;
    changed.notify_all();
  }
  ASSERT_TRUE(wait_added_books(kEventCeilingMs));
  EXPECT_EQ(everything_below(docs), std::vector<std::string>{});  // nothing arrived after
  EXPECT_EQ(plat_pending(), 0);
}
