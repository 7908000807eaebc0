#include "base/atomic_file.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "base/sync_later.h"
#include "support/event_ceiling.h"

#include "support/device_folder.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace {
bool is_regular_file(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A device path of `total` bytes under /mnt/us/ whose folders exist on the host.
std::string long_device_path(const DeviceFolder& root, size_t total) {
  std::string rel = "ql/state";
  while (std::string("/mnt/us/").size() + rel.size() + 100 < total) {
    rel += "/" + std::string(90, 'd');
    mkdir(root.host("us/" + rel).c_str(), 0755);
  }
  std::string path = "/mnt/us/" + rel + "/";
  path += std::string(total - path.size(), 'f');
  return path;
}
}  // namespace

TEST(TmpSuffix, FitsUpTo415Bytes) {
  char buf[kTmpPathSize];
  std::string p415(415, 'a'), p416(416, 'a');
  EXPECT_EQ(std::string(path_with_tmp_suffix(buf, p415.c_str())), p415 + ".tmp");
  EXPECT_STREQ(path_with_tmp_suffix(buf, p416.c_str()), "");
  EXPECT_STREQ(path_with_tmp_suffix(buf, std::string(5000, 'a').c_str()), "");
  EXPECT_STREQ(path_with_tmp_suffix(buf, "/mnt/us/x"), "/mnt/us/x.tmp");
}

TEST(AtomicWrite, ReplacesTheFile) {
  DeviceFolder root;
  write_file(root.state("a.txt"), "old content that is longer");
  ASSERT_TRUE(file_write_atomic("/mnt/us/ql/state/a.txt", "new", 3));
  EXPECT_EQ(read_file(root.state("a.txt")), "new");
  EXPECT_FALSE(file_exists(root.state("a.txt.tmp")));
  ASSERT_TRUE(file_write_atomic("/mnt/us/ql/state/empty.txt", "", 0));
  EXPECT_TRUE(is_regular_file(root.state("empty.txt")));
}

TEST(AtomicWrite, FailuresKeepTheOldFile) {
  DeviceFolder root;
  // A missing folder.
  EXPECT_FALSE(file_write_atomic("/mnt/us/ql/nowhere/x.txt", "new", 3));
  EXPECT_FALSE(file_exists(root.host("us/ql/nowhere")));

  // A folder in the file's place: the rename fails as a plain rename does, and the folder stays
  // with what it holds.
  mkdir(root.state("busy.pos").c_str(), 0755);
  write_file(root.state("busy.pos/inside"), "x");
  EXPECT_FALSE(file_write_atomic("/mnt/us/ql/state/busy.pos", "4 40\n", 5));
  EXPECT_EQ(read_file(root.state("busy.pos/inside")), "x");
}

TEST(AtomicWrite, PathTooLongForTheSuffix) {
  // Never cut to fit: nothing is written under any name.
  for (size_t len : {416, 417, 419, 500}) {
    SCOPED_TRACE(len);
    DeviceFolder root;
    std::string dev = long_device_path(root, len);
    std::string host = root.host("us/" + dev.substr(8));
    write_file(host, "old");
    ASSERT_EQ(read_file(host), "old");
    EXPECT_FALSE(file_write_atomic(dev.c_str(), "new", 3));
    EXPECT_EQ(read_file(host), "old");
    // Nothing was written beside it under a cut name either.
    EXPECT_EQ(entries_in(host.substr(0, host.rfind('/'))), 1u);
  }
  DeviceFolder root;
  std::string ok = long_device_path(root, 415);
  EXPECT_TRUE(file_write_atomic(ok.c_str(), "new", 3));
}

TEST(AtomicWrite, FullDiskKeepsOldFileAndLeavesNoTmp) {
  DeviceFolder root;
  std::string old(3000, 'o');
  write_file(root.state("full.txt"), old);
  struct { const char* name; size_t length; } cases[] = {
      {"fails at the flush", 6000},       // fits the stream's buffer, fails when flushed
      {"fails at the write", 1 << 20},    // written through at once, comes back short
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes(c.length, 'n');
    bool ok;
    {
      FileSizeLimit limit(4096);
      ok = file_write_atomic("/mnt/us/ql/state/full.txt", bytes.data(), bytes.size());
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(read_file(root.state("full.txt")), old);
    EXPECT_FALSE(file_exists(root.state("full.txt.tmp")));
  }
}

TEST(FileCommit, FlushFailureRemovesTmp) {
  DeviceFolder root;
  write_file(root.state("c.txt"), "old");
  write_file(root.state("c.txt.tmp"), "");
  // /dev/full takes buffered bytes and fails them at the flush, as a full disk does.
  FILE* f = fopen("/dev/full", "wb");
  ASSERT_NE(f, nullptr);
  fputs("new content", f);
  EXPECT_FALSE(file_commit(f, "/mnt/us/ql/state/c.txt.tmp", "/mnt/us/ql/state/c.txt"));
  EXPECT_EQ(read_file(root.state("c.txt")), "old");
  EXPECT_FALSE(file_exists(root.state("c.txt.tmp")));
}

TEST(FileCommit, StreamErrorRemovesTmp) {
  DeviceFolder root;
  write_file(root.state("e.txt"), "old");
  write_file(root.state("e.txt.tmp"), "partial");
  // Writing to a stream opened for reading sets its error flag.
  FILE* f = fopen(root.state("e.txt.tmp").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  fputc('x', f);
  ASSERT_TRUE(ferror(f));
  EXPECT_FALSE(file_commit(f, "/mnt/us/ql/state/e.txt.tmp", "/mnt/us/ql/state/e.txt"));
  EXPECT_EQ(read_file(root.state("e.txt")), "old");
  EXPECT_FALSE(file_exists(root.state("e.txt.tmp")));
}

TEST(FileCommit, FailedRenameLeavesTmp) {
  DeviceFolder root;
  // The final path is a folder that is not empty, so the rename fails.
  mkdir(root.state("busy").c_str(), 0755);
  write_file(root.state("busy/inside"), "x");
  FILE* f = fopen(root.state("busy.tmp").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fputs("new", f);
  EXPECT_FALSE(file_commit(f, "/mnt/us/ql/state/busy.tmp", "/mnt/us/ql/state/busy"));
  EXPECT_EQ(read_file(root.state("busy.tmp")), "new");
  EXPECT_EQ(read_file(root.state("busy/inside")), "x");
}

// Whatever a killed run, a backup or anyone else left at the temporary name is removed, never
// written through, and never blocks the save; a link in the file's own place is replaced, not
// followed.
TEST(AtomicWrite, WhateverSitsAtTheTemporaryNameIsReplacedNotWrittenThrough) {
  using Root = const DeviceFolder&;
  using At = const std::string&;
  struct Case {
    const char* name;
    void (*plant)(Root, At);
  } cases[] = {
      {"a file a killed run left", [](Root, At at) { write_file(at, std::string(5000, 'x')); }},
      {"a backup's hard link", [](Root r, At at) { link(r.state("kept").c_str(), at.c_str()); }},
      {"a link to a kept file", [](Root r, At at) { symlink(r.state("kept").c_str(), at.c_str()); }},
      {"a folder", [](Root, At at) { mkdir(at.c_str(), 0755); write_file(at + "/x", "x"); }},
      {"a FIFO", [](Root, At at) { mkfifo(at.c_str(), 0644); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceFolder root;
    write_file(root.state("kept"), "kept");
    write_file(root.state("t.pos"), "old");
    c.plant(root, root.state("t.pos.tmp"));
    FILE* f = file_create_new("/mnt/us/ql/state/t.pos.tmp");  // as file_write_atomic makes it
    ASSERT_NE(f, nullptr);
    fputs("7 40\n", f);
    ASSERT_TRUE(file_commit(f, "/mnt/us/ql/state/t.pos.tmp", "/mnt/us/ql/state/t.pos"));
    EXPECT_EQ(read_file(root.state("t.pos")), "7 40\n");
    EXPECT_EQ(read_file(root.state("kept")), "kept");
    EXPECT_EQ(everything_below(root.state("")), (std::vector<std::string>{"kept", "t.pos"}));
  }
  DeviceFolder root;
  write_file(root.state("kept"), "kept");
  ASSERT_EQ(symlink(root.state("kept").c_str(), root.state("link.pos").c_str()), 0);
  ASSERT_TRUE(file_write_atomic("/mnt/us/ql/state/link.pos", "5 40\n", 5));
  EXPECT_TRUE(is_regular_file(root.state("link.pos")));
  EXPECT_EQ(read_file(root.state("kept")), "kept");
}

// A save of the bytes a file already holds writes nothing: the file keeps its inode, and its time
// moves only when asked (a position file's time orders the Recent list). A file another name
// shares (a backup's hard link) is left as it was, its time too.
TEST(AtomicWrite, AnUpdateWithTheBytesAFileHoldsWritesNothing) {
  DeviceFolder root;
  const std::string pos = root.state("s.pos"), backup = root.state("backup.pos");
  write_file(pos, "9 40\n");
  const timespec long_ago[2] = {{1, 0}, {1, 0}};
  struct Case {
    const char* name;
    SameBytes same;
    bool shared;
    bool new_time;
    bool new_file;
  } cases[] = {
      {"kept", SameBytes::Keep, false, false, false},
      {"touched", SameBytes::Touch, false, true, false},
      {"touched, shared with a backup", SameBytes::Touch, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.shared) {
      ASSERT_EQ(link(pos.c_str(), backup.c_str()), 0);
    }
    ASSERT_EQ(utimensat(AT_FDCWD, pos.c_str(), long_ago, 0), 0);
    struct stat before {}, after {};
    ASSERT_EQ(stat(pos.c_str(), &before), 0);
    ASSERT_TRUE(file_update_atomic("/mnt/us/ql/state/s.pos", "9 40\n", 5, c.same));
    ASSERT_EQ(stat(pos.c_str(), &after), 0);
    EXPECT_EQ(read_file(pos), "9 40\n");
    EXPECT_EQ(after.st_mtime > 1, c.new_time);
    EXPECT_EQ(after.st_ino != before.st_ino, c.new_file);
  }
  struct stat kept {};
  ASSERT_EQ(stat(backup.c_str(), &kept), 0);
  EXPECT_EQ(kept.st_mtime, 1);
  ASSERT_TRUE(file_update_atomic("/mnt/us/ql/state/s.pos", "10 40\n", 6));
  EXPECT_EQ(read_file(pos), "10 40\n");
}

// The folder that records a save's rename is flushed by the thread, or at once at the end.
TEST(SyncLater, TheFolderOfASaveIsFlushedSoonOrAtTheEnd) {
  DeviceFolder root;
  ASSERT_TRUE(file_write_atomic("/mnt/us/ql/state/q.pos", "1 40\n", 5));
  EXPECT_LE(sync_pending_now(), 1u);  // 0: the thread was quicker
  EXPECT_EQ(sync_later_queued(), 0u);
  // The thread may be asleep until a flush it planned before: the new save still wakes it.
  ASSERT_TRUE(file_write_atomic("/mnt/us/ql/state/q.pos", "2 40\n", 5));
  const auto deadline = std::chrono::steady_clock::now() + kEventCeiling;
  while (sync_later_queued() > 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(sync_later_queued(), 0u);
}
