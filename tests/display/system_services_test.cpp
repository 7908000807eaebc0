#include "base/system_services.h"
#include "display/device_facts.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "base/paths.h"
#include "host/services.h"
#include "support/temp_dir.h"

namespace {
// The device layout remapped onto a temporary folder: /mnt/us is data/, /tmp is run/.
struct DeviceFolders {
  TempDir dir;
  std::string data = dir / "data";
  std::string run = dir / "run";
  DeviceFolders() {
    mkdir(data.c_str(), 0755);
    mkdir(run.c_str(), 0755);
    ql_set_root(data.c_str(), run.c_str());
  }
  ~DeviceFolders() { ql_set_root(nullptr, nullptr); }
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string pattern_bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; i++) s[i] = static_cast<char>((i * 131 + i / 977) & 0xff);
  return s;
}
}  // namespace

TEST(SystemServices, ShellLinesGoToTheHostRunner) {
  EXPECT_EQ(ql_system("sync; reboot"), -1);  // the desktop runs nothing
  std::vector<std::pair<std::string, int>> seen;
  plat_set_runner([&](const char* cmd, int secs) {
    seen.emplace_back(cmd, secs);
    return static_cast<int>(seen.size());
  });
  EXPECT_EQ(ql_system("sh /mnt/us/ql/bin/ql-info.sh"), 1);
  EXPECT_EQ(ql_system_t("lipc-set-prop -i com.lab126.powerd preventScreenSaver 1 >/dev/null 2>&1", 6), 2);
  plat_set_runner(nullptr);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].first, "sh /mnt/us/ql/bin/ql-info.sh");
  EXPECT_EQ(seen[0].second, 900);
  EXPECT_EQ(seen[1].second, 6);
}

TEST(SystemServices, DeviceHooksDoNothing) {
  ql_wifi_set(1);
  EXPECT_EQ(ql_wifi_on(), 0);
  ql_usb_modal(1);
  ql_usb_keep(1);
  ql_leave();
}

TEST(SystemServices, ListDirKeepsFirst64SortedAndSkipsHiddenAndTemporary) {
  DeviceFolders dev;
  const std::string shelf = dev.data + "/shelf";
  mkdir(shelf.c_str(), 0755);
  for (int i = 0; i < 70; i++) write_file(shelf + "/book" + std::to_string(1000 - i * 7) + ".epub", "x");
  for (const char* skipped : {".hidden", "a.tmp", "x.tmp.epub", ".tmp"})
    write_file(shelf + "/" + skipped, "x");
  write_file(shelf + "/" + std::string(160, 'n'), "x");  // too long to list

  // The names the folder yields first, in its own order, after the skipped ones are passed over.
  std::vector<std::string> first;
  DIR* d = opendir(shelf.c_str());
  ASSERT_TRUE(d);
  while (dirent* e = readdir(d))
    if (e->d_name[0] != '.' && !strstr(e->d_name, ".tmp") && strlen(e->d_name) < 160 && first.size() < 64)
      first.push_back(e->d_name);
  closedir(d);
  std::sort(first.begin(), first.end());

  EXPECT_EQ(ql_list_dir("/mnt/us/shelf", "/tmp/ql-list.txt"), 64);
  EXPECT_EQ(lines_of(read_file(dev.run + "/ql-list.txt")), first);
}

TEST(SystemServices, ListDirSortsByBytesAndKeeps159ByteNames) {
  DeviceFolders dev;
  const std::string long_name(159, 'z');
  for (const std::string& name : std::vector<std::string>{"b", "B", "a", "\xc3\xa4", "_", long_name}) write_file(dev.data + "/" + name, "");
  EXPECT_EQ(ql_list_dir("/mnt/us", "/tmp/l.txt"), 6);
  EXPECT_EQ(lines_of(read_file(dev.run + "/l.txt")),
            (std::vector<std::string>{"B", "_", "a", "b", long_name, "\xc3\xa4"}));
}

TEST(SystemServices, ListDirFailures) {
  DeviceFolders dev;
  write_file(dev.run + "/stale.txt", "old listing\n");
  EXPECT_EQ(ql_list_dir("/mnt/us/no-such-folder", "/tmp/stale.txt"), 0);
  EXPECT_TRUE(file_exists(dev.run + "/stale.txt"));
  EXPECT_EQ(read_file(dev.run + "/stale.txt"), "");
  write_file(dev.data + "/a", "");
  EXPECT_EQ(ql_list_dir("/mnt/us", "/tmp/no-folder/out.txt"), 0);
  // A listing that cannot reach the disk whole is not reported as made.
  if (access("/dev/full", W_OK) == 0) {
    EXPECT_EQ(ql_list_dir("/mnt/us", "/dev/full"), 0);
  }
}

TEST(SystemServices, CopyFileThroughAPartFile) {
  DeviceFolders dev;
  const std::string bytes = pattern_bytes(3 * 65536 + 17);  // several blocks and a short one
  write_file(dev.data + "/src.bin", bytes);
  EXPECT_EQ(ql_copy_file("/mnt/us/src.bin", "/mnt/us/dst.bin"), 1);
  EXPECT_EQ(read_file(dev.data + "/dst.bin"), bytes);
  EXPECT_FALSE(file_exists(dev.data + "/dst.bin.part"));

  write_file(dev.data + "/empty", "");
  EXPECT_EQ(ql_copy_file("/mnt/us/empty", "/tmp/empty-copy"), 1);
  EXPECT_TRUE(file_exists(dev.run + "/empty-copy"));
}

TEST(SystemServices, CopyFileNeverReplacesAndCleansUpOnFailure) {
  DeviceFolders dev;
  write_file(dev.data + "/src", "new");
  write_file(dev.data + "/dst", "old");
  EXPECT_EQ(ql_copy_file("/mnt/us/src", "/mnt/us/dst"), 0);
  EXPECT_EQ(read_file(dev.data + "/src"), "new");
  EXPECT_EQ(read_file(dev.data + "/dst"), "old");
  // A dangling link is something at the destination too.
  ASSERT_EQ(symlink("nowhere", (dev.data + "/link").c_str()), 0);
  EXPECT_EQ(ql_copy_file("/mnt/us/src", "/mnt/us/link"), 0);

  struct { const char* name; const char* src; const char* dst; } failures[] = {
      {"missing source", "/mnt/us/none", "/mnt/us/out1"},
      {"unreadable source (a folder)", "/mnt/us", "/mnt/us/out2"},
      {"destination folder missing", "/mnt/us/src", "/mnt/us/no-dir/out3"},
  };
  for (auto& f : failures) {
    SCOPED_TRACE(f.name);
    EXPECT_EQ(ql_copy_file(f.src, f.dst), 0);
    char buf[kQlPathMax];
    const std::string dst = ql_path(f.dst, buf, sizeof buf);
    EXPECT_FALSE(file_exists(dst));
    EXPECT_FALSE(file_exists(dst + ".part"));
  }
}

TEST(SystemServices, FileSizeAndTime) {
  DeviceFolders dev;
  write_file(dev.data + "/f", "12345");
  struct stat st;
  ASSERT_EQ(stat((dev.data + "/f").c_str(), &st), 0);
  EXPECT_EQ(ql_file_size("/mnt/us/f"), 5);
  EXPECT_EQ(ql_file_mtime("/mnt/us/f"), static_cast<int64_t>(st.st_mtime));
  EXPECT_EQ(ql_file_size("/mnt/us/missing"), -1);
  EXPECT_EQ(ql_file_mtime("/mnt/us/missing"), -1);
  EXPECT_EQ(ql_file_size(nullptr), -1);
}

TEST(SystemServices, DiskSpaceInMegabytes) {
  DeviceFolders dev;
  int64_t total = -5, free_mb = -5;
  ASSERT_EQ(ql_disk("/mnt/us", &total, &free_mb), 0);
  struct statvfs vfs;
  ASSERT_EQ(statvfs(dev.data.c_str(), &vfs), 0);
  const long double size = vfs.f_frsize;
  // Free space may move between the two calls; the total may not.
  EXPECT_EQ(total, static_cast<int64_t>(vfs.f_blocks * size / 1e6L));
  EXPECT_GE(free_mb, 0);
  EXPECT_LE(free_mb, total);
  EXPECT_EQ(ql_disk("/mnt/us/no-such-folder", &total, &free_mb), -1);
  EXPECT_EQ(ql_disk(nullptr, &total, &free_mb), -1);
}
