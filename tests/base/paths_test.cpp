#include "base/paths.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <string>

#include "support/temp_dir.h"

namespace {
struct RootGuard {
  RootGuard(const char* d, const char* t) { ql_set_root(d, t); }
  ~RootGuard() { ql_set_root(nullptr, nullptr); }
};

std::string mapped(const char* p) {
  char buf[kQlPathMax];
  return ql_path(p, buf, sizeof buf);
}
}  // namespace

TEST(PathRemap, RewritesDeviceRootsOnly) {
  RootGuard g("/Users/a/Data", "/var/t");
  struct { const char* in; const char* out; } cases[] = {
      {"/mnt/us", "/Users/a/Data"},
      {"/mnt/us/documents/x.epub", "/Users/a/Data/documents/x.epub"},
      {"/mnt/usb/x", "/mnt/usb/x"},
      {"/tmp/ql-dl.path", "/var/t/ql-dl.path"},
      {"/tmp", "/var/t"},
      {"/tmpfile", "/tmpfile"},
      {"/etc/passwd", "/etc/passwd"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(mapped(c.in), c.out);
  }
}

TEST(PathRemap, NothingWithoutDataRoot) {
  RootGuard g(nullptr, "/var/t");
  EXPECT_EQ(mapped("/tmp/x"), "/tmp/x");
  EXPECT_EQ(mapped("/mnt/us/x"), "/mnt/us/x");
}

TEST(PathRemap, RootsUnderTmpAreNotRemappedTwice) {
  RootGuard g("/tmp/data", "/tmp/run-1");
  EXPECT_EQ(mapped("/tmp/run-1/ql-dl.path"), "/tmp/run-1/ql-dl.path");
  EXPECT_EQ(mapped("/tmp/data/documents/a.epub"), "/tmp/data/documents/a.epub");
  EXPECT_EQ(mapped("/tmp/other"), "/tmp/run-1/other");
}

TEST(PathRemap, OverlongResultIsAnErrorNotACut) {
  RootGuard g("/data", "/t");
  char small[16];
  errno = 0;
  EXPECT_STREQ(ql_path("/mnt/us/documents/long.epub", small, sizeof small), "");
  EXPECT_EQ(errno, ENAMETOOLONG);
  std::string huge = "/mnt/us/" + std::string(5000, 'a');
  EXPECT_EQ(qlp_fopen(huge.c_str(), "r"), nullptr);
}

TEST(PathRemap, WrappersRefuseAMissingPath) {
  RootGuard g("/data", "/t");
  struct stat st;
  errno = 0;
  EXPECT_EQ(qlp_fopen(nullptr, "r"), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(qlp_stat(nullptr, &st), -1);
  EXPECT_EQ(qlp_access(nullptr, F_OK), -1);
  EXPECT_EQ(qlp_remove(nullptr), -1);
  EXPECT_EQ(qlp_rename(nullptr, "/tmp/x"), -1);
  EXPECT_EQ(qlp_opendir(nullptr), nullptr);
  EXPECT_EQ(qlp_open(nullptr, O_RDONLY), -1);
}

// Anything but a file at a name read (a FIFO would hold the read up in its open) reads as missing.
TEST(PathRemap, ReadingOpensOnlyAFile) {
  TempDir dir;
  RootGuard g(dir.path().c_str(), "/t");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((dir / "folder").c_str(), 0755), 0);
  EXPECT_EQ(qlp_fopen("/mnt/us/fifo", "rb"), nullptr);
  EXPECT_EQ(qlp_fopen("/mnt/us/folder", "r"), nullptr);
}

// A file inside the data folder has one device name however the host path reached it.
TEST(PathRemap, HostPathsInsideTheDataFolderGetTheirDeviceForm) {
  TempDir tmp;
  const std::string dir = tmp.path();
  const std::string data = dir + "/data";
  ASSERT_EQ(mkdir(data.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((data + "/documents").c_str(), 0755), 0);
  const std::string book = data + "/documents/a b.epub";
  write_file(book, "");
  ASSERT_EQ(symlink(data.c_str(), (dir + "/link").c_str()), 0);
  RootGuard g(data.c_str(), "/var/t");
  struct {
    std::string in;
    std::string out;
  } cases[] = {
      {book, "/mnt/us/documents/a b.epub"},
      {dir + "/link/documents/a b.epub", "/mnt/us/documents/a b.epub"},
      {data + "/documents/../documents/a b.epub", "/mnt/us/documents/a b.epub"},
      {data + "/documents/not yet.epub", "/mnt/us/documents/not yet.epub"},
      {"/mnt/us/documents/a b.epub", "/mnt/us/documents/a b.epub"},
      {data + "x/book.epub", data + "x/book.epub"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(ql_device_path(c.in.c_str()), c.out);
  }
}
