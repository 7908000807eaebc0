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
  // The temporary path is taken by a folder, so it cannot be opened for writing.
  write_file(root.state("dir.txt"), "old");
  mkdir(root.state("dir.txt.tmp").c_str(), 0755);
  EXPECT_FALSE(file_write_atomic("/mnt/us/ql/state/dir.txt", "new", 3));
  EXPECT_EQ(read_file(root.state("dir.txt")), "old");

  // A missing folder.
  EXPECT_FALSE(file_write_atomic("/mnt/us/ql/nowhere/x.txt", "new", 3));
  EXPECT_FALSE(file_exists(root.host("us/ql/nowhere")));

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

TEST(AtomicWrite, SyncLaterPutsTheFileInPlaceAtOnceAndFlushesItSoon) {
  DeviceFolder root;
  write_file(root.state("p.pos"), "old content that is longer");
  ASSERT_TRUE(file_write_atomic_sync_later("/mnt/us/ql/state/p.pos", "12 40\n", 6));
  EXPECT_EQ(read_file(root.state("p.pos")), "12 40\n");
  EXPECT_FALSE(file_exists(root.state("p.pos.tmp")));

  // A failure keeps the old file and queues nothing.
  write_file(root.state("dir.pos"), "old");
  mkdir(root.state("dir.pos.tmp").c_str(), 0755);
  EXPECT_FALSE(file_write_atomic_sync_later("/mnt/us/ql/state/dir.pos", "new", 3));
  EXPECT_EQ(read_file(root.state("dir.pos")), "old");

  // The flushing thread takes the queue by itself.
  const auto deadline = std::chrono::steady_clock::now() + kEventCeiling;
  while (sync_later_queued() > 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(sync_later_queued(), 0u);

  // The flush at the end takes what waits (the file and its folder) on the calling thread.
  ASSERT_TRUE(file_write_atomic_sync_later("/mnt/us/ql/state/p.pos", "13 40\n", 6));
  const size_t flushed = sync_pending_now();
  EXPECT_TRUE(flushed == 2 || flushed == 0) << flushed;  // 0: the thread was quicker
  EXPECT_EQ(sync_later_queued(), 0u);
  EXPECT_EQ(sync_pending_now(), 0u);
}

TEST(AtomicWrite, SavesAtPageTurnsWriteOnlyNewFiles) {
  DeviceFolder root;
  const std::string pos = root.state("t.pos"), fallback = pos + kFallbackSuffix;
  const std::string old = "an old position file, longer than any line saved here\n";
  write_file(pos, old);
  // Other names of the files a save replaces or writes under: a backup's hard link, and links
  // planted at the temporary names.
  ASSERT_EQ(link(pos.c_str(), root.state("backup.pos").c_str()), 0);
  write_file(root.state("target"), "kept");
  ASSERT_EQ(symlink(root.state("target").c_str(), (pos + ".tmp").c_str()), 0);
  ASSERT_EQ(symlink(root.state("target").c_str(), fallback.c_str()), 0);
  ASSERT_TRUE(file_write_atomic_sync_later("/mnt/us/ql/state/t.pos", "7 40\n", 5));
  EXPECT_EQ(read_file(fallback), old);  // the old file was on the disk
  ASSERT_EQ(link(fallback.c_str(), root.state("backup2.pos").c_str()), 0);
  for (const char* line : {"123456 40\n", "8 40\n", "99 40\n", "5 40\n"}) {
    ASSERT_TRUE(file_write_atomic_sync_later("/mnt/us/ql/state/t.pos", line, strlen(line)));
    EXPECT_EQ(read_file(pos), line);
  }
  // A backup made of every file (cp -al) while the saves come faster than the flushes.
  const std::string backup = root.host("backup");
  mkdir(backup.c_str(), 0755);
  std::vector<std::string> linked;
  for (const std::string& name : everything_below(root.state(""))) {
    ASSERT_EQ(link(root.state(name).c_str(), (backup + "/" + name).c_str()), 0);
    linked.push_back(read_file(root.state(name)));
  }
  ASSERT_TRUE(file_write_atomic_sync_later("/mnt/us/ql/state/t.pos", "6 40\n", 5));
  EXPECT_EQ(read_file(pos), "6 40\n");
  for (size_t i = 0; i < linked.size(); ++i) {
    EXPECT_EQ(read_file(backup + "/" + everything_below(backup)[i]), linked[i]);
  }
  EXPECT_EQ(read_file(root.state("backup.pos")), old);
  EXPECT_EQ(read_file(root.state("backup2.pos")), old);
  EXPECT_EQ(read_file(root.state("target")), "kept");
  // Once the file is on the disk its fallback goes.
  sync_pending_now();
  EXPECT_EQ(file_drop_fallbacks(), 1u);
  EXPECT_EQ(everything_below(root.state("")),
            (std::vector<std::string>{"backup.pos", "backup2.pos", "t.pos", "target"}));
}

// A save of the bytes a file holds writes them over themselves: the same file with a new time, and
// nothing to flush. A file another name shares (a backup's hard link) is left as it was.
TEST(AtomicWrite, SavingTheBytesAFileHoldsWritesThemOverThemselves) {
  DeviceFolder root;
  const std::string pos = root.state("s.pos"), backup = root.state("backup.pos");
  write_file(pos, "9 40\n");
  const timespec long_ago[2] = {{1, 0}, {1, 0}};
  struct stat before {}, after {};
  for (const bool shared : {false, true}) {
    if (shared) {
      ASSERT_EQ(link(pos.c_str(), backup.c_str()), 0);
    }
    ASSERT_EQ(utimensat(AT_FDCWD, pos.c_str(), long_ago, 0), 0);
    ASSERT_EQ(stat(pos.c_str(), &before), 0);
    ASSERT_TRUE(file_write_atomic_sync_later("/mnt/us/ql/state/s.pos", "9 40\n", 5));
    ASSERT_EQ(stat(pos.c_str(), &after), 0);
    EXPECT_EQ(read_file(pos), "9 40\n");
    EXPECT_GT(after.st_mtime, 1);
    EXPECT_EQ(after.st_ino == before.st_ino, !shared);
    if (!shared) {
      EXPECT_EQ(sync_later_queued(), 0u);  // nothing waits for a flush
    }
  }
  ASSERT_EQ(stat(backup.c_str(), &after), 0);
  EXPECT_EQ(after.st_mtime, 1);
  sync_pending_now();
  file_drop_fallbacks();
}

TEST(AtomicWrite, SavesAtPageTurnsReplaceOnlyAFile) {
  DeviceFolder root;
  // A fallback a killed run left, longer than the new content: the save writes a file of its own.
  write_file(root.state("k.pos"), "old");
  write_file(root.state(std::string("k.pos") + kFallbackSuffix), std::string(5000, 'x'));
  ASSERT_TRUE(file_write_atomic_sync_later("/mnt/us/ql/state/k.pos", "3 40\n", 5));
  EXPECT_EQ(read_file(root.state("k.pos")), "3 40\n");
  EXPECT_FALSE(file_exists(root.state("k.pos.tmp")));

  // A folder in the file's place is not swapped away: the save fails as a plain rename does, and
  // the folder stays where it was with what it holds.
  mkdir(root.state("busy.pos").c_str(), 0755);
  write_file(root.state("busy.pos/inside"), "x");
  EXPECT_FALSE(file_write_atomic_sync_later("/mnt/us/ql/state/busy.pos", "4 40\n", 5));
  EXPECT_EQ(read_file(root.state("busy.pos/inside")), "x");
  EXPECT_FALSE(file_exists(root.state(std::string("busy.pos") + kFallbackSuffix)));

  // A link in the file's place is replaced, as a plain rename replaces it; what it points to is
  // left alone.
  write_file(root.state("target"), "kept");
  ASSERT_EQ(symlink(root.state("target").c_str(), root.state("link.pos").c_str()), 0);
  ASSERT_TRUE(file_write_atomic_sync_later("/mnt/us/ql/state/link.pos", "5 40\n", 5));
  EXPECT_EQ(read_file(root.state("link.pos")), "5 40\n");
  EXPECT_EQ(read_file(root.state("target")), "kept");
  file_drop_fallbacks();
  sync_pending_now();
}

TEST(SyncLater, AFileQueuedAfterAFlushAtTheEndIsFlushedByTheThread) {
  DeviceFolder root;
  ASSERT_TRUE(file_write_atomic_sync_later("/mnt/us/ql/state/q.pos", "1 40\n", 5));
  sync_pending_now();
  // The thread may be asleep until a flush it planned before: the new file still wakes it.
  ASSERT_TRUE(file_write_atomic_sync_later("/mnt/us/ql/state/q.pos", "2 40\n", 5));
  const auto deadline = std::chrono::steady_clock::now() + kEventCeiling;
  while (sync_later_queued() > 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(sync_later_queued(), 0u);
  file_drop_fallbacks();
}
