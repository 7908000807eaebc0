#include "host/data_folder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "host/folder_lock.h"
#include "host/leftovers.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {
// Sets or clears environment variables for one test and puts the old values back.
class EnvGuard {
 public:
  void set(const char* name, std::optional<std::string> value) {
    if (!saved_.contains(name)) {
      const char* old = getenv(name);
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) setenv(name, value->c_str(), 1);
    else unsetenv(name);
  }
  ~EnvGuard() {
    for (auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};
}  // namespace

TEST(DataFolder, Choice) {
  struct {
    const char* name;
    std::optional<std::string> data, xdg, home;
    std::string expected;
  } cases[] = {
      {"data folder given", "/srv/books", "/x/share", "/home/u", "/srv/books"},
      {"empty data folder ignored", "", "/x/share", "/home/u", "/x/share/Corvell Nalo"},
      {"XDG data home", std::nullopt, "/x/share", "/home/u", "/x/share/Corvell Nalo"},
      {"XDG with a trailing slash", std::nullopt, "/x/share/", "/home/u", "/x/share/Corvell Nalo"},
      {"relative XDG ignored", std::nullopt, "share", "/home/u", "/home/u/.local/share/Corvell Nalo"},
      {"home default", std::nullopt, std::nullopt, "/home/u", "/home/u/.local/share/Corvell Nalo"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    EnvGuard env;
    env.set("CVNL_DATA", c.data);
    env.set("XDG_DATA_HOME", c.xdg);
    env.set("HOME", c.home);
    EXPECT_EQ(host_data_folder(), c.expected);
  }
}

TEST(DataFolder, PrivateTemporaryRootPerCall) {
  TempDir base;
  EnvGuard env;
  env.set("TMPDIR", base.path());
  std::string a = host_make_tmp_root();
  std::string b = host_make_tmp_root();
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind(base.path() + "/", 0), 0u);
  struct stat st;
  ASSERT_EQ(stat(a.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  env.set("TMPDIR", base / "missing");
  EXPECT_EQ(host_make_tmp_root(), "");
}

// A start removes the per-run folders of programs that no longer run: a folder's lock tells, since
// the system lets go of it when its program ends however it ends.
TEST(DataFolder, StartRemovesPerRunFoldersOfProgramsThatNoLongerRun) {
  TempDir base;
  EnvGuard env;
  env.set("TMPDIR", base.path());
  const std::string mine = host_make_tmp_root();
  ASSERT_FALSE(mine.empty());
  fs::create_directories(base / "corvell-nalo-killed/sub");
  write_file(base / "corvell-nalo-killed/sub/ql-dict.txt", "left");
  fs::create_directories(base / "corvell-nalo-living");
  const auto living = FolderLock::shared(base / "corvell-nalo-living", LastLink::Refuse);
  ASSERT_TRUE(living);
  write_file(base / "corvell-nalo-file", "not a folder");
  fs::create_directories(base / "another-program");
  host_remove_stale_tmp_roots();
  std::vector<std::string> kept = {"another-program", "corvell-nalo-file", "corvell-nalo-living",
                                   fs::path(mine).filename()};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(everything_below(base.path()), kept);
}

// What killed runs left in the data folder goes at the next start, and nothing else: not a file of
// the user's that looks like a part file, and nothing while another program holds the folder.
TEST(DataFolder, StartRemovesWhatKilledRunsLeftInTheDataFolder) {
  TempDir dir;
  struct Entry {
    const char* path;
    bool folder;
    bool kept;
    const char* link_to = nullptr;  // a symbolic link to this, inside the data folder
    bool fifo = false;
  } entries[] = {
      {"documents/.quillo-copy-41-0", false, false},     // a copy cut short
      {"documents/.quillo-copy-41-1", true, false},      // a folder copy cut short
      {"ql/bundled/.quillo-copy-7-3", false, false},     // a sample book's copy
      {"ql/state/0123456789abcdef.pos.tmp", false, false},
      {"ql/state/layout/ab.lay.tmp", false, false},
      {"ql/state/conv/cd.epub.part", false, false},      // a conversion cut short
      {"ql/state/catalog-new.tsv.part", false, false},   // a download into the state folder
      {"documents/Mine.epub", false, true},
      {"documents/Mine.epub.part", false, true},         // the user's own
      {"documents/Notes.tmp", false, true},
      {"documents/.hidden", false, true},
      {"documents/Shelf/.quillo-copy-1-1", false, true},  // inside a folder of the user's
      {"ql/state/0123456789abcdef.pos", false, true},
      {"ql/state/layout/ab.lay", false, true},
      {"documents/Shelf/Draft.tmp", false, true},
      {"ql/state/linked.tmp", false, false, "documents/Mine.epub"},  // removed, never followed
      {"ql/state/0123456789abcdef.notes.tmp", true, false},  // of any type
      {"ql/state/layout/cd.lay.tmp", false, false, nullptr, true},
      {"ql/state/shelf", false, true, "documents/Shelf"},
  };
  const auto fill = [&](const std::string& data) {
    host_make_data_folders(data);
    for (const Entry& e : entries) {
      fs::create_directories(fs::path(data + "/" + e.path).parent_path());
      if (e.link_to) {
        fs::create_symlink(data + "/" + e.link_to, data + "/" + e.path);
      } else if (e.fifo) {
        mkfifo((data + "/" + e.path).c_str(), 0644);
      } else if (e.folder) {
        fs::create_directories(data + "/" + e.path + "/inner");
      } else {
        write_file(data + "/" + e.path, "x");
      }
    }
  };
  // How a program that runs on the folder names it (none: none runs), and how the start does: by
  // the folder's own name, a symbolic link to it, or the link and a slash.
  const std::pair<const char*, const char*> starts[] = {
      {nullptr, ""}, {"", ""}, {nullptr, "-link"}, {"-link", ""}, {"-link", "-link/"}};
  for (size_t i = 0; i < std::size(starts); i++) {
    const auto [running, start] = starts[i];
    const std::string folder = dir / std::to_string(i);
    SCOPED_TRACE(folder + start);
    fill(folder);
    fs::create_directory_symlink(folder, folder + "-link");
    if (running) host_hold_data_folder(folder + running, false);
    host_hold_data_folder(folder + start, true);
    for (const Entry& e : entries) {
      SCOPED_TRACE(e.path);
      EXPECT_EQ(fs::exists(fs::symlink_status(folder + "/" + e.path)), e.kept || running);
    }
  }
}

// One program to a data folder, whatever happens to the folders inside it while it runs (a card
// pulled and put back): a second claim, by another name of the folder too, is refused before
// anything is made in it.
TEST(DataFolder, TheClaimIsOnTheDataFolderItself) {
  TempDir dir;
  const std::string data = dir / "data";
  ASSERT_EQ(host_claim_data_folder(data), DataFolderClaim::Ours);  // made when missing
  ASSERT_EQ(host_make_data_folders(data), 0);
  fs::rename(data + "/ql", dir / "ql-away");
  fs::rename(data + "/documents", dir / "documents-away");
  fs::create_directory_symlink(data, dir / "link");
  EXPECT_EQ(host_claim_data_folder(dir / "link"), DataFolderClaim::TakenByAnother);
  EXPECT_TRUE(fs::is_empty(data));
}

// A data folder that cannot be written is told at start, with the system's reason: missing on a
// read-only storage, there on one, or where no folder can be made.
TEST(DataFolder, OneThatCannotBeWrittenIsToldWithTheReason) {
  TempDir dir;
  const auto problem = [](const std::string& data) {
    return host_data_folder_problem(data, host_make_data_folders(data));
  };
  EXPECT_EQ(problem(dir / "fine"), "");
  write_file(dir / "file", "x");
  EXPECT_NE(problem(dir / "file/data").find(" cannot be written: Not a directory."),
            std::string::npos);
  // A read-only storage, where the machine lets the test mount one.
  const std::string card = dir / "card";
  fs::create_directories(card);
  if (mount("none", card.c_str(), "tmpfs", 0, "size=256k") != 0) GTEST_SKIP() << "no mount here";
  host_make_data_folders(card + "/there");
  ASSERT_EQ(mount("none", card.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
  for (const char* name : {"missing", "there"}) {
    SCOPED_TRACE(name);
    EXPECT_NE(problem(card + "/" + name).find(" cannot be written: Read-only file system."),
              std::string::npos);
  }
  umount(card.c_str());
}
