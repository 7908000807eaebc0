#include "base/paths.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <string>

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
