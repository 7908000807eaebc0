#include "base/file_copy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "base/paths.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace {

bool is_link(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Part files of copies (hidden names with the copy's prefix) in a folder.
size_t copy_parts_in(const std::string& dir) {
  size_t n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    n += is_copy_part_name(e.path().filename().string());
  return n;
}

TEST(FileCopy, CopiesWholeOrLeavesTheDestinationAsItWas) {
  struct Case {
    const char* name;
    const char* at_destination;  // "file", "dangling link", "user's part file" or ""
    bool replace;
    bool copied;
  } cases[] = {
      {"into a free name", "", false, true},
      {"onto a file", "file", false, false},
      {"onto a file, replacing", "file", true, true},
      {"onto a dangling link", "dangling link", false, false},
      {"beside a file of the user's named like a part file", "user's part file", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string bytes(3 * 65536 + 17, 'b');  // several blocks and a short one
    write_file(dir / "src", bytes);
    const std::string dst = dir / "dst", users_part = dst + ".part";
    const std::string what = c.at_destination;
    if (what == "file") write_file(dst, "old");
    if (what == "dangling link") {
      ASSERT_EQ(symlink("nowhere", dst.c_str()), 0);
    }
    if (what == "user's part file") write_file(users_part, "the user's own");

    EXPECT_EQ(copy_file(dir / "src", dst, c.replace), c.copied);
    EXPECT_EQ(copy_parts_in(dir.path()), 0u);
    if (what == "user's part file") {
      EXPECT_EQ(read_file(users_part), "the user's own");
    }
    if (c.copied) {
      EXPECT_EQ(read_file(dst), bytes);
    } else if (what == "file") {
      EXPECT_EQ(read_file(dst), "old");
    } else if (what == "dangling link") {
      EXPECT_TRUE(is_link(dst));
    }
  }
}

// The part name is hidden and of the program's own, and the copy never takes a name in use.
TEST(FileCopy, PartNamesAreHiddenOnesOfTheProgramsOwn) {
  TempDir dir;
  const std::string target = dir / "Book.epub";
  std::vector<std::string> names;
  for (int i = 0; i < 3; i++) {
    names.push_back(create_copy_part(target, [](const std::string& name) {
      return mkdir(name.c_str(), 0755) == 0;
    }));
    SCOPED_TRACE(names.back());
    ASSERT_EQ(names.back().rfind(dir.path() + "/", 0), 0u);
    const std::string name = std::filesystem::path(names.back()).filename();
    EXPECT_TRUE(is_copy_part_name(name));
    EXPECT_EQ(name[0], '.');
  }
  EXPECT_NE(names[0], names[1]);
  EXPECT_NE(names[1], names[2]);
  for (const char* users : {"Book.epub.part", ".hidden", "quillo-copy-1", ".quillo-copy"}) {
    SCOPED_TRACE(users);
    EXPECT_FALSE(is_copy_part_name(users));
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
  }
  write_file(dir / "big", std::string(200000, 'b'));
  {
    FileSizeLimit full(70000);  // the storage fills up during the copy
    EXPECT_FALSE(copy_file(dir / "big", dir / "out4", true));
  }
  EXPECT_FALSE(file_exists(dir / "out4"));
  EXPECT_EQ(copy_parts_in(dir.path()), 0u);
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
