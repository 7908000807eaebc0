// What lookups keep between them: the dictionaries' list and open files while their folders and
// files are unchanged, and each large index's table in the state folder for later starts. Every
// change to a folder or a file shows at the next lookup, and a kept table is taken only for the
// index it was made from, as that index is now.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "book/dict/dict_file.h"
#include "book/dict/installed_dictionaries.h"
#include "book/dict/stardict_index.h"
#include "book/dict/stardict_table_file.h"
#include "dictionaries_fixture.h"

namespace fs = std::filesystem;

namespace {
// Dates a folder an hour back, as one copied well before the lookups is: a folder changed within
// the last seconds is listed again at every lookup, whatever its stamp says.
void settle(const std::string& folder) {
  const timespec times[2] = {{0, UTIME_OMIT}, {time(nullptr) - 3600, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
}

sdw::Options named(const char* name, sdw::Storage storage = sdw::Storage::plain) {
  sdw::Options o;
  o.bookname = name;
  o.storage = storage;
  return o;
}

// Headwords "<prefix>00000" on, in index order, enough of them for an index with a kept table.
std::vector<sdw::Entry> numbered(const char* prefix, int count) {
  std::vector<sdw::Entry> out;
  for (int i = 0; i < count; ++i) {
    char word[32];
    std::snprintf(word, sizeof word, "%s%05d", prefix, i);
    out.push_back({word, std::string("sense of ") + word});
  }
  return out;
}

constexpr char kBigIdx[] = "/mnt/us/documents/dictionaries/big.idx";

class KeptDictionaries : public Dictionaries {
 protected:
  // The files of the dictionaries folder this process holds open, as "descriptor target" lines.
  std::vector<std::string> open_dictionary_files() const {
    std::vector<std::string> out;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
      std::error_code ec;
      const std::string target = fs::read_symlink(fd.path(), ec).string();
      if (!ec && target.starts_with(base(""))) out.push_back(fd.path().filename().string() + " " + target);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  std::vector<std::string> kept_tables() const {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir_ / "us/ql/state/dict", ec)) out.push_back(e.path().filename());
    return out;
  }
};

// Each change is made after a lookup in settled folders, so that the list and the open files are
// kept; the next lookup must see it. Made right after the files were opened, the change is found
// by comparing stamps; made after a lookup that found nothing changed, it must be reported by the
// watch that lookups then rely on.
TEST_F(KeptDictionaries, EveryChangeAfterASettledListingShowsAtTheNextLookup) {
  struct Case {
    const char* name;
    std::function<void()> change;
    const char* word;
    std::string shown;
  };
  const std::string no_run = "No definition found for 'run'.\n";
  const Case cases[] = {
      {"a dictionary added", [&] { add("c", {{"run", "third"}}, named("C")); }, "run", "A\nfirst\n\nC\nthird\n\n"},
      {"a dictionary removed",
       [&] {
         for (const char* ext : {".ifo", ".idx", ".dict"}) fs::remove(base("a") + ext);
       },
       "run", no_run},
      {"its index and definitions replaced by a rename",
       [&] {
         sdw::write_dictionary(dir_ / "staged", {{"run", "sprint"}, {"walk", "a step"}}, named("A"));
         fs::rename(dir_ / "staged.idx", base("a.idx"));
         fs::rename(dir_ / "staged.dict", base("a.dict"));
       },
       "run", "A\nsprint\n\n"},
      {"its files rewritten in place", [&] { add("a", {{"run", "first and fast"}, {"walk", "a step"}}, named("A")); },
       "run", "A\nfirst and fast\n\n"},
      {"its name rewritten in place", [&] { add("a", {{"run", "first"}, {"walk", "a step"}}, named("Renamed")); },
       "run", "Renamed\nfirst\n\n"},
      {"a plain .dict put beside the .dict.dz", [&] { add("Sub/b", {{"swim", "IN WATER"}}, named("B")); }, "swim",
       "B\nIN WATER\n\n"},
      {"a dictionary added in the folder below", [&] { add("Sub/c", {{"run", "third"}}, named("C")); }, "run",
       "C\nthird\n\nA\nfirst\n\n"},
      {"the folder below removed", [&] { fs::remove_all(base("Sub")); }, "swim",
       "No definition found for 'swim'.\n"},
      {"the dictionaries folder removed", [&] { fs::remove_all(base("")); }, "run", no_run},
      {"the dictionaries folder replaced by another",
       [&] {
         fs::rename(base(""), dir_ / "old-dictionaries");
         fs::create_directories(base(""));
         add("a", {{"run", "other"}}, named("A"));
       },
       "run", "A\nother\n\n"},
      {"the documents folder replaced by another",
       [&] {
         fs::rename(dir_ / "us/documents", dir_ / "old-documents");
         fs::create_directories(base(""));
         add("a", {{"run", "other"}}, named("A"));
       },
       "run", "A\nother\n\n"},
      {"its name rewritten through a link outside the folder",
       [&] {
         fs::create_hard_link(base("a.ifo"), dir_ / "linked.ifo");
         std::string text = read_file(dir_ / "linked.ifo");
         text.replace(text.find("bookname=A"), 10, "bookname=Z");
         std::ofstream(dir_ / "linked.ifo", std::ios::binary | std::ios::in) << text;
       },
       "run", "Z\nfirst\n\n"},
      {"the page's file removed", [&] { fs::remove(dir_ / "tmp/ql-dict.txt"); }, "run", "A\nfirst\n\n"},
      {"the page's file written longer by another program",
       [&] { write_file(dir_ / "tmp/ql-dict.txt", std::string(1000, 'x')); }, "swim", "B\nin water\n\n"},
  };
  for (const bool watched : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (watched ? ", reported by the watch" : ", found by the stamps"));
      for (const char* left : {"old-dictionaries", "old-documents", "linked.ifo"}) fs::remove_all(dir_ / left);
      empty_folder();
      add("a", {{"run", "first"}, {"walk", "a step"}}, named("A"));
      fs::create_directories(base("Sub"));
      add("Sub/b", {{"swim", "in water"}}, named("B", sdw::Storage::dictzip));
      settle(base(""));
      settle(base("Sub"));
      ASSERT_EQ(lookup("run"), "A\nfirst\n\n");
      ASSERT_EQ(lookup("swim"), "B\nin water\n\n");
      if (watched) {
        ASSERT_EQ(lookup("walk"), "A\na step\n\n");
      }
      c.change();
      EXPECT_EQ(lookup(c.word), c.shown);
    }
  }
}

// No watch reports a file system mounted over a dictionary's file or folder, or over the folder
// itself: the stamps, compared again once the watch has been trusted for long enough, show it.
TEST_F(KeptDictionaries, AMountShowsWhenTheStampsAreComparedAgain) {
  // Mounts of this process's own, gone with it whatever the test leaves.
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    GTEST_SKIP() << "no mounts allowed here";
  static int64_t now = 0;
  set_dictionaries_clock([] { return now; });
  const struct { std::string over, from, word, shown; } cases[] = {
      {base("Sub"), "", "swim", "No definition found for 'swim'.\n"},
      {base("a.ifo"), dir_ / "staged.ifo", "run", "Z\nfirst\n\n"},
      {base(""), "", "run", "No definition found for 'run'.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.over);
    empty_folder();
    add("a", {{"run", "first"}, {"walk", "a step"}}, named("A"));
    fs::create_directories(base("Sub"));
    add("Sub/b", {{"swim", "in water"}}, named("B"));
    sdw::write_dictionary(dir_ / "staged", {{"run", "first"}}, named("Z"));
    for (const char* folder : {"", "Sub"}) settle(base(folder));
    for (const char* word : {"run", "swim", "walk", "run"}) lookup(word);
    ASSERT_EQ(c.from.empty() ? mount("none", c.over.c_str(), "tmpfs", 0, nullptr)
                             : mount(c.from.c_str(), c.over.c_str(), nullptr, MS_BIND, nullptr), 0);
    now += kDictRecheckNs;
    EXPECT_EQ(lookup(c.word), c.shown);
    umount2(c.over.c_str(), MNT_DETACH);
  }
  set_dictionaries_clock(nullptr);
}

// The files a lookup opened answer the next lookups, neither listed nor opened again; a changed
// file is opened again in place of the old one, and a dictionary taken away closes its files.
TEST_F(KeptDictionaries, ALookupKeepsTheDictionaryFilesOpen) {
  add("a", {{"run", "first"}, {"walk", "a step"}}, named("A", sdw::Storage::dictzip));
  settle(base(""));
  // A low descriptor freed after the first lookup: a file opened again would take its number.
  const int gap = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(gap, 0);
  ASSERT_EQ(lookup("run"), "A\nfirst\n\n");
  close(gap);
  const std::vector<std::string> opened = open_dictionary_files();
  EXPECT_EQ(opened.size(), 3u) << "the .ifo, the .idx and the .dict.dz";
  for (const char* word : {"walk", "run", "absent", "walks"}) {
    lookup(word);
    EXPECT_EQ(open_dictionary_files(), opened) << word;
  }
  add("a", {{"run", "first and fast"}, {"walk", "a step"}}, named("A", sdw::Storage::dictzip));
  EXPECT_EQ(lookup("run"), "A\nfirst and fast\n\n");
  EXPECT_EQ(open_dictionary_files().size(), 3u);
  empty_folder();
  lookup("run");
  EXPECT_TRUE(open_dictionary_files().empty());
}

// A lookup keeps the table of a large index in the state folder, for the next start to read
// instead of the index; a dictionary taken away takes its table with it.
TEST_F(KeptDictionaries, ALookupKeepsTheIndexTableForTheNextStart) {
  const auto entries = numbered("w", 6000);
  add("big", entries);
  ASSERT_GE(fs::file_size(base("big.idx")), kKeptTableIndexMin);
  add("small", {{"run", "first"}});
  ASSERT_EQ(lookup("w00042"), "Test Dictionary\nsense of w00042\n\n");
  EXPECT_EQ(kept_tables().size(), 1u) << "a small index has none";

  const auto idx = DictFile::open(kBigIdx);
  ASSERT_TRUE(idx);
  const auto kept = read_kept_table(kBigIdx, *idx, false);
  ASSERT_TRUE(kept);
  const auto read = StardictIndex::read(*idx, false);
  for (size_t i = 0; i < entries.size(); i += 37) {
    StardictIndex::ReadBlocks a, b;
    const auto from_kept = kept->find(*idx, entries[i].headword, a);
    const auto from_index = read->find(*idx, entries[i].headword, b);
    ASSERT_TRUE(from_kept && from_index) << entries[i].headword;
    EXPECT_EQ(from_kept->offset, from_index->offset) << entries[i].headword;
    EXPECT_EQ(from_kept->size, from_index->size) << entries[i].headword;
  }

  for (const char* ext : {".ifo", ".idx", ".dict"}) fs::remove(base("big") + ext);
  EXPECT_EQ(lookup("run"), "Test Dictionary\nfirst\n\n");
  EXPECT_TRUE(kept_tables().empty());
}

// The read bytes this process has asked for so far; nothing where the system does not count them.
std::optional<uint64_t> bytes_read() {
  std::ifstream io("/proc/self/io");
  std::string key;
  uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return std::nullopt;
}

// The first lookup of a start reads the table an earlier start kept and the few blocks it checks
// and searches, not the index through.
TEST_F(KeptDictionaries, AStartReadsTheKeptTableInsteadOfTheIndex) {
  for (const bool kept : {false, true}) {
    SCOPED_TRACE(kept ? "with the table an earlier start kept" : "with no table kept");
    // A copy of the dictionary this process has never looked a word up in, its size unlike the
    // last one's: a start.
    empty_folder();
    add("big", numbered("w", kept ? 20001 : 20000));
    const uint64_t idx_size = fs::file_size(base("big.idx"));
    if (kept) {
      const auto idx = DictFile::open(kBigIdx);
      ASSERT_TRUE(idx);
      keep_table(kBigIdx, *idx, *StardictIndex::read(*idx, false));
    }
    const auto before = bytes_read();
    if (!before) GTEST_SKIP() << "the system does not count bytes read";
    EXPECT_EQ(lookup("w12345"), "Test Dictionary\nsense of w12345\n\n");
    const uint64_t read = *bytes_read() - *before;
    if (kept) {
      EXPECT_LT(read, idx_size / 4);
    } else {
      EXPECT_GE(read, idx_size);
    }
  }
}

// A kept table is taken only whole, for the index at its path as the index is now, and when it
// agrees with the index: a damaged or foreign table is never trusted, in order or not.
TEST_F(KeptDictionaries, AKeptTableIsTakenOnlyForTheIndexItWasMadeFor) {
  for (const bool in_order : {true, false}) {
    SCOPED_TRACE(in_order ? "in order" : "in no order");
    empty_folder();
    auto entries = numbered("w", 6000), others = numbered("v", 6000);
    if (!in_order) {
      std::reverse(entries.begin(), entries.end());
      std::reverse(others.begin(), others.end());
    }
    add("big", entries);
    add("other", others);  // the same sizes, other headwords
    const auto idx = DictFile::open(kBigIdx);
    const auto other_idx = DictFile::open("/mnt/us/documents/dictionaries/other.idx");
    ASSERT_TRUE(idx && other_idx);
    ASSERT_EQ(idx->size(), other_idx->size());
    const auto index = StardictIndex::read(*idx, false);
    const auto other_index = StardictIndex::read(*other_idx, false);
    const DictFile::Stamp stamp = idx->stamp();
    const std::string good = index->kept_form(kBigIdx, stamp);
    ASSERT_TRUE(StardictIndex::from_kept_form(good, kBigIdx, *idx, false));

    auto with = [&](auto change) {
      DictFile::Stamp s = stamp;
      change(s);
      return index->kept_form(kBigIdx, s);
    };
    struct Refused {
      const char* name;
      std::string bytes;
      std::string path;
      bool offsets64;
    } refused[] = {
        {"made for another path", index->kept_form("/mnt/us/documents/dictionaries/x.idx", stamp), kBigIdx, false},
        {"made for another offset width", good, kBigIdx, true},
        {"made before the index grew", with([](auto& s) { s.size -= 1; }), kBigIdx, false},
        {"made before the index was written", with([](auto& s) { s.mtime_ns -= 1; }), kBigIdx, false},
        {"made before the index was replaced", with([](auto& s) { s.ctime_ns -= 1; }), kBigIdx, false},
        {"made from another index under this one's stamp", other_index->kept_form(kBigIdx, stamp), kBigIdx, false},
        {"empty", "", kBigIdx, false},
    };
    for (const Refused& r : refused) {
      SCOPED_TRACE(r.name);
      EXPECT_FALSE(StardictIndex::from_kept_form(r.bytes, r.path, *idx, r.offsets64));
    }
    for (size_t len = 0; len < good.size(); len += 1 + len / 64) {
      EXPECT_FALSE(StardictIndex::from_kept_form(good.substr(0, len), kBigIdx, *idx, false)) << "cut at " << len;
    }
    std::string flipped = good;
    for (size_t at = 0; at < flipped.size(); at += 1 + at / 64) {
      flipped[at] = static_cast<char>(flipped[at] ^ 0x10);
      EXPECT_FALSE(StardictIndex::from_kept_form(flipped, kBigIdx, *idx, false)) << "flip at " << at;
      flipped[at] = good[at];
    }
  }
}
}  // namespace
