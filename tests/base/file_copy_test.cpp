#include "base/file_copy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "base/atomic_file.h"
#include "base/paths.h"
#include "support/temp_dir.h"

namespace {

bool is_link(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

TEST(FileCopy, CopiesWholeOrLeavesTheDestinationAsItWas) {
  struct Case {
    const char* name;
    const char* at_destination;  // "file", "dangling link", "part file", "part link" or ""
    bool replace;
    bool copied;
  } cases[] = {
      {"into a free name", "", false, true},
      {"onto a file", "file", false, false},
      {"onto a file, replacing", "file", true, true},
      {"onto a dangling link", "dangling link", false, false},
      {"over a part file left by a cut copy", "part file", false, true},
      {"over a link planted at the part name", "part link", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string bytes(3 * 65536 + 17, 'b');  // several blocks and a short one
    write_file(dir / "src", bytes);
    const std::string dst = dir / "dst", part = dst + ".part";
    const std::string what = c.at_destination;
    if (what == "file") write_file(dst, "old");
    if (what == "dangling link") {
      ASSERT_EQ(symlink("nowhere", dst.c_str()), 0);
    }
    if (what == "part file") write_file(part, "half a cop");
    if (what == "part link") {
      write_file(dir / "victim", "keep");
      ASSERT_EQ(symlink((dir / "victim").c_str(), part.c_str()), 0);
    }

    EXPECT_EQ(copy_file(dir / "src", dst, c.replace), c.copied);
    EXPECT_FALSE(file_exists(part) || is_link(part));
    if (c.copied) {
      EXPECT_EQ(read_file(dst), bytes);
    } else if (what == "file") {
      EXPECT_EQ(read_file(dst), "old");
    } else if (what == "dangling link") {
      EXPECT_TRUE(is_link(dst));
    }
    if (what == "part link") {
      EXPECT_EQ(read_file(dir / "victim"), "keep");
    }
  }
}

TEST(FileCopy, FailuresLeaveNoPartFile) {
  TempDir dir;
  write_file(dir / "src", "bytes");
  struct Case {
    const char* name;
    std::string src, dst;
  } cases[] = {
      {"missing source", dir / "none", dir / "out1"},
      {"a folder as the source", dir.path(), dir / "out2"},
      {"missing destination folder", dir / "src", dir / "no-dir/out3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(copy_file(c.src, c.dst, true));
    EXPECT_FALSE(file_exists(c.dst));
    EXPECT_FALSE(file_exists(c.dst + ".part"));
  }
}

// The host's own files (screenshots, added books) may lie under /tmp while the device's /tmp is
// remapped elsewhere: their commit must use the path as it is.
TEST(FileCommit, HostPathsAreNotRemapped) {
  TempDir host, data, run;
  ql_set_root(data.path().c_str(), run.path().c_str());
  const std::string tmp = host / "shot.ppm.tmp", final_path = host / "shot.ppm";
  FILE* f = fopen(tmp.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fputs("P5", f);
  EXPECT_TRUE(file_commit_host(f, tmp.c_str(), final_path.c_str()));
  ql_set_root(nullptr, nullptr);
  EXPECT_EQ(read_file(final_path), "P5");
  EXPECT_FALSE(file_exists(tmp));
}

}  // namespace
