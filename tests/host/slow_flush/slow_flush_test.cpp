// Books added from slow storage. The program's own fsync stands before the C library's and holds
// the flush of a copy's part file in the test's documents folder until the test lets it go, as a
// slow card or stick would: the handing over (the window's thread) must not wait for it, and a
// quit during it must name exactly the books that do not arrive.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "base/file_copy.h"
#include "base/paths.h"
#include "host/add_books.h"
#include "host/host_queue.h"
#include "host/main_thread.h"
#include "support/event_ceiling.h"
#include "support/temp_dir.h"

namespace {
struct FlushGate {
  std::mutex mu;
  std::condition_variable changed;
  std::string folder;  // flushes of part files in it wait for `open`; empty: none
  bool open = false;
  int holding = 0;
  std::thread::id adder;  // the thread handing the books over, which must never flush them
  bool flushed_by_adder = false;
} gate;

bool is_part_in_gated_folder(int fd) {
  char link[64], path[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, path, sizeof path - 1);
  if (n <= 0) return false;
  const std::filesystem::path p(std::string(path, static_cast<size_t>(n)));
  return !gate.folder.empty() && p.parent_path() == gate.folder &&
         is_copy_part_name(p.filename().string());
}

// Waits for the event, under the gate's lock; false after the ceiling.
template <typename Pred>
bool wait_gate(Pred pred) {
  std::unique_lock lock(gate.mu);
  return gate.changed.wait_for(lock, kEventCeiling, pred);
}
}  // namespace

extern "C" int fsync(int fd) {
  static auto call = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
  std::unique_lock lock(gate.mu);
  if (!gate.open && is_part_in_gated_folder(fd)) {
    if (std::this_thread::get_id() == gate.adder) {
      gate.flushed_by_adder = true;  // held here, the test would wait for itself
    } else {
      gate.holding++;
      gate.changed.notify_all();
      gate.changed.wait(lock, [] { return gate.open; });
      gate.holding--;
    }
    gate.changed.notify_all();
  }
  lock.unlock();
  return call(fd);
}

namespace {
class SlowFlush : public ::testing::Test {
 protected:
  TempDir data;
  TempDir outside;
  std::string docs = data / "documents";

  void SetUp() override {
    host_reset();
    std::filesystem::create_directories(docs);
    ql_set_root(data.path().c_str(), outside.path().c_str());
    std::lock_guard lock(gate.mu);
    gate.folder = docs;
    gate.open = false;
    gate.flushed_by_adder = false;
    gate.adder = std::this_thread::get_id();
  }
  void TearDown() override {
    let_flushes_go();
    ql_set_root(nullptr, nullptr);
    host_reset();
  }
  static void let_flushes_go() {
    std::lock_guard lock(gate.mu);
    gate.open = true;
    gate.changed.notify_all();
  }
  std::string book(const std::string& name) {
    write_file(outside / name, std::string(100000, 'b'));
    return outside / name;
  }
  static bool books_added_told() {
    int x, y, type;
    while ((type = plat_event(0, &x, &y)) != 0) {
      if (type == HOST_BOOKS_ADDED) return true;
    }
    return false;
  }
};

TEST_F(SlowFlush, HandingOverReturnsWhileTheCopyFlushes) {
  EXPECT_EQ(add_books({book("Slow.epub")}), 1);
  ASSERT_TRUE(wait_gate([] { return gate.holding == 1 || gate.flushed_by_adder; }));
  EXPECT_FALSE(gate.flushed_by_adder) << "the copy ran on the thread that handed it over";
  let_flushes_go();
  ASSERT_TRUE(wait_added_books(kEventCeilingMs));
  EXPECT_EQ(read_file(docs + "/Slow.epub"), std::string(100000, 'b'));
  EXPECT_TRUE(books_added_told());
}

// Given up in its flush, the copy is not put in place when the flush ends, and its part is gone
// at once; the book waiting behind it is named too.
TEST_F(SlowFlush, AQuitDuringTheLastFlushNamesExactlyWhatDidNotArrive) {
  EXPECT_EQ(add_books({book("Flushing.epub")}), 1);
  ASSERT_TRUE(wait_gate([] { return gate.holding == 1; }));
  EXPECT_EQ(add_books({book("Waiting.epub")}), 1);
  EXPECT_EQ(plat_finish_copies(kQuitGraceMs),
            (std::vector<std::string>{"Flushing.epub", "Waiting.epub"}));
  EXPECT_EQ(everything_below(docs), std::vector<std::string>{});
  let_flushes_go();
  ASSERT_TRUE(wait_added_books(kEventCeilingMs));
  EXPECT_EQ(everything_below(docs), std::vector<std::string>{});
  EXPECT_FALSE(books_added_told());
}
}  // namespace
