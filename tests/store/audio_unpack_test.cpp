// Audiobook archives unpacked into folders: which members become recordings and under which
// names, when the archive may go, and damaged archives that must not lose or invent anything.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "support/device_root.h"
#include "store/audio_unpack.h"
#include "support/zip_writer.h"

namespace {

// Entries of a folder, hidden ones (a journal, a staging folder) included.
size_t all_entries(const std::string& dir) {
  using It = std::filesystem::directory_iterator;
  return static_cast<size_t>(std::distance(It(dir), It()));
}

class Unpack : public testing::Test {
 protected:
  void SetUp() override {
    mkdir(docs().c_str(), 0755);
    unpack_take_reports();  // none left by an earlier test
  }
  std::string docs() const { return root_.host("us/documents"); }
  std::string doc(const std::string& name) const { return docs() + "/" + name; }
  // Writes the archive as documents/NAME.zip (at `at`, after a hole), makes its folder and
  // unpacks it.
  UnpackResult unpack(const std::string& name, const std::string& bytes, uint64_t at = 0) {
    write_file(doc(name + ".zip"), bytes, at);
    mkdir(doc(name).c_str(), 0755);
    return unzip_audio(("/mnt/us/documents/" + name + ".zip").c_str(),
                       ("/mnt/us/documents/" + name).c_str(), never_);
  }

  DeviceRoot root_;
  const std::atomic<uint32_t> never_{0};
};

TEST_F(Unpack, MembersBecomeFlatRecordingsUnderSafeNames) {
  const struct {
    const char* name;
    std::vector<zipw::Member> members;
    int written;
    bool complete;
    std::vector<std::string> files;
    std::optional<uint64_t> zip64_at = {};
  } cases[] = {
      {"recordings flat, junk skipped",
       {{"Book/01.mp3", "one"}, {"Book/02.MP3", "two", zipw::kStored},
        {"__MACOSX/Book/._01.mp3", "fork"}, {"cover.jpg", "jpeg"}, {"Book/", ""}},
       2, true, {"01.mp3", "02.MP3"}},
      {"forbidden characters", {{"Part 1: b?<\"|*>.mp3", "x"}}, 1, true, {"Part 1_ b______.mp3"}},
      {"a name like a drive letter is flattened anyway", {{"a:b?.mp3", "x"}}, 1, true, {"a_b_.mp3"}},
      {"same name in two folders", {{"B/CD1/01.ogg", "a"}, {"B/CD2/01.ogg", "b"}, {"B/CD2/02.ogg", "c"}},
       3, true, {"CD1 - 01.ogg", "CD2 - 01.ogg", "CD2 - 02.ogg"}},
      {"qualified names that still meet",
       {{"a/b.mp3", "1"}, {"a - b.mp3", "2"}, {"c/b.mp3", "3"}}, 3, true,
       {"a - b.mp3", "a - b (2).mp3", "c - b.mp3"}},
      {"no recording at all", {{"book.pdf", "%PDF"}}, 0, true, {}},
      {"names that climb out are written flat inside",
       {{"../up.mp3", "x"}, {"/abs/ok.mp3", "y"}, {"..", "z"}}, 2, true, {"up.mp3", "ok.mp3"}},
      {"unsupported method keeps the archive", {{"a.mp3", "x", zipw::kStored, 0, {}, 12}}, 0, false, {}},
      {"encrypted member keeps the archive", {{"a.mp3", "x", zipw::kStored, 1}}, 0, false, {}},
      {"stated size larger than the data", {{"a.mp3", "abc", zipw::kDeflated, 0, 9}}, 0, false, {}},
      {"ZIP64 past 4 GiB", {{"01.mp3", "one"}, {"02.mp3", "two", zipw::kStored}}, 2, true,
       {"01.mp3", "02.mp3"}, 0x120000000},
      {"a stated size the archive cannot hold is damaged, not room to find",
       {{"01.mp3", "one"}, {"02.mp3", "two", zipw::kDeflated, 0, uint64_t{1} << 50}}, 1, false,
       {"01.mp3"}, 0},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = "case" + std::to_string(n++);
    const std::string bytes = zipw::build(c.members, {}, c.zip64_at);
    const UnpackResult r = unpack(name, bytes, c.zip64_at.value_or(0));
    EXPECT_EQ(r.written, c.written);
    EXPECT_EQ(r.complete, c.complete);
    EXPECT_EQ(entries_in(doc(name)), c.files.size());
    for (const std::string& f : c.files) EXPECT_TRUE(file_exists(doc(name + "/" + f))) << f;
  }
}

TEST_F(Unpack, ACrcMismatchIsNeverRenamedIntoPlace) {
  std::string bytes = zipw::build({{"a.mp3", "abcdef", zipw::kStored}, {"b.mp3", "ghi"}});
  bytes[bytes.find("abcdef") + 2] = 'Z';
  const UnpackResult r = unpack("crc", bytes);
  EXPECT_EQ(r.written, 1);
  EXPECT_FALSE(r.complete);
  EXPECT_FALSE(file_exists(doc("crc/a.mp3")));
  EXPECT_FALSE(file_exists(doc("crc/a.mp3.part")));
  EXPECT_EQ(read_file(doc("crc/b.mp3")), "ghi");
}

TEST_F(Unpack, EveryPrefixAndFlipFailsCleanly) {
  const std::string whole =
      zipw::build({{"x/01.mp3", std::string(3000, 'a')}, {"x/02.mp3", "bb", zipw::kStored}});
  for (size_t len = 0; len < whole.size(); len += 7) {
    SCOPED_TRACE(len);
    const UnpackResult r = unpack("p", whole.substr(0, len));
    EXPECT_FALSE(r.complete && r.written == 2);
  }
  for (size_t at = 0; at < whole.size(); ++at) {
    std::string flipped = whole;
    flipped[at] = static_cast<char>(flipped[at] ^ 0x5A);
    const UnpackResult r = unpack("f", flipped);
    // Whatever came out was checked: a recording is whole or absent.
    for (const char* f : {"01.mp3", "02.mp3"}) {
      const std::string got = read_file(doc(std::string("f/") + f));
      if (!got.empty()) {
        EXPECT_TRUE(got == std::string(3000, 'a') || got == "bb") << at;
      }
      remove(doc(std::string("f/") + f).c_str());
    }
    EXPECT_LE(r.written, 2);
  }
}

TEST_F(Unpack, ACancelledUnpackLeavesNoRecordingBehind) {
  write_file(doc("c.zip"), zipw::build({{"01.mp3", "a"}, {"02.mp3", "b"}}));
  mkdir(doc("c").c_str(), 0755);
  const std::atomic<uint32_t> cancelled{1};
  const UnpackResult r = unzip_audio("/mnt/us/documents/c.zip", "/mnt/us/documents/c", cancelled);
  EXPECT_EQ(r.written, 0);
  EXPECT_FALSE(r.complete);
  EXPECT_EQ(entries_in(doc("c")), 0u);
}

TEST_F(Unpack, LeftoverArchivesGoOnlyWhenUnpackedWhole) {
  // Folder entries and resource forks hold nothing of anyone's: they do not keep an archive.
  write_file(doc("Whole.zip"), zipw::build({{"Whole/", ""},
                                            {"Whole/01.mp3", "a"},
                                            {"__MACOSX/Whole/._01.mp3", "fork"},
                                            {"Whole/._01.mp3", "fork"}}));
  write_file(doc("Booklet.zip"), zipw::build({{"booklet.pdf", "%PDF"}}));
  std::string damaged = zipw::build({{"01.mp3", "aaaa", zipw::kStored}, {"02.mp3", "b"}});
  damaged[damaged.find("aaaa")] = 'X';
  write_file(doc("Damaged.zip"), damaged);
  write_file(doc(".hidden.zip"), zipw::build({{"01.mp3", "a"}}));
  write_file(doc("Notes.zip"), "not an archive at all");
  EXPECT_EQ(ql_unpack_zips("/mnt/us/documents"), 1);
  EXPECT_FALSE(file_exists(doc("Whole.zip")));
  EXPECT_EQ(read_file(doc("Notes.zip")), "not an archive at all");
  EXPECT_EQ(read_file(doc("Whole/01.mp3")), "a");
  EXPECT_TRUE(file_exists(doc("Booklet.zip")));
  EXPECT_FALSE(file_exists(doc("Booklet")));  // no empty folder
  // What could be unpacked is in its folder, the archive kept inside it, out of the next unpack's way.
  EXPECT_EQ(read_file(doc("Damaged/02.mp3")), "b");
  EXPECT_FALSE(file_exists(doc("Damaged/01.mp3")));
  EXPECT_EQ(read_file(doc("Damaged/Damaged.zip")), damaged);
  EXPECT_FALSE(file_exists(doc("Damaged.zip")));
  EXPECT_TRUE(file_exists(doc(".hidden.zip")));
  // The reader is told which recordings were skipped, and what holds none.
  const std::vector<ArchiveReport> reports = unpack_take_reports();
  ASSERT_EQ(reports.size(), 3u);
  std::string told;
  for (const ArchiveReport& r : reports) told += unpack_notice(r) + "\n";
  EXPECT_NE(told.find("Some recordings in Damaged.zip could not be unpacked: 01.mp3. The others are "
                      "in the folder Damaged, where the archive is kept."),
            std::string::npos)
      << told;
  EXPECT_NE(told.find("Booklet.zip holds no audio files"), std::string::npos) << told;
  EXPECT_NE(told.find("Notes.zip could not be read as a ZIP archive"), std::string::npos) << told;
  // Every archive is unpacked once: the next drop neither unpacks nor tells anything again.
  EXPECT_EQ(ql_unpack_zips("/mnt/us/documents"), 0);
  EXPECT_FALSE(file_exists(doc("Damaged (2)")));
  EXPECT_TRUE(unpack_take_reports().empty());
  EXPECT_EQ(all_entries(docs()), 5u);  // Whole, Booklet.zip, Damaged, .hidden.zip, Notes.zip
}

// A member that is no recording (a booklet, a cover, notes) may be the reader's only copy of it:
// the archive holding one is kept inside the folder, and the reader is told why.
TEST_F(Unpack, AnArchiveHoldingMoreThanRecordingsIsKept) {
  const struct {
    const char* name;
    std::vector<zipw::Member> members;
    std::vector<std::string> others;
  } cases[] = {
      {"booklet, cover and notes",
       {{"01.mp3", "one"}, {"booklet.pdf", "%PDF"}, {"cover.jpg", "jpeg"}, {"notes.txt", "n"}},
       {"booklet.pdf", "cover.jpg", "notes.txt"}},
      {"in folders, beside forks", {{"P/", ""}, {"P/01.mp3", "one"}, {"P/art/cover.jpg", "jpeg"},
                                    {"__MACOSX/P/._01.mp3", "fork"}, {"P/._cover.jpg", "fork"}},
       {"P/art/cover.jpg"}},
      {"a hidden file", {{"01.mp3", "one"}, {".notes", "mine"}}, {".notes"}},
      {"a hidden recording", {{"01.mp3", "one"}, {".02.mp3", "two"}}, {".02.mp3"}},
      {"a symbolic link", {{"01.mp3", "one"}, {"02.mp3", "01.mp3", zipw::kStored, 0, {}, {}, 0120777}},
       {"02.mp3"}},
      {"a symbolic link made on macOS",
       {{"01.mp3", "one"}, {"02.mp3", "01.mp3", zipw::kStored, 0, {}, {}, 0120777, {}, 19}},
       {"02.mp3"}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = "Poems" + std::to_string(n++);
    const std::string bytes = zipw::build(c.members);
    write_file(doc(name + ".zip"), bytes);
    EXPECT_EQ(ql_unpack_zips("/mnt/us/documents"), 1);
    EXPECT_EQ(read_file(doc(name + "/01.mp3")), "one");
    EXPECT_EQ(read_file(doc(name + "/" + name + ".zip")), bytes);
    EXPECT_FALSE(file_exists(doc(name + ".zip")));
    EXPECT_EQ(entries_in(doc(name)), 2u);
    const std::vector<ArchiveReport> reports = unpack_take_reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].outcome, ArchiveOutcome::with_others);
    EXPECT_EQ(reports[0].result.others, c.others);
  }
  ArchiveReport told;
  told.archive = "Poems.zip";
  told.folder = "Poems";
  told.outcome = ArchiveOutcome::with_others;
  told.result.others = cases[0].others;
  EXPECT_EQ(unpack_notice(told),
            "Poems.zip also holds files that are not recordings (booklet.pdf, cover.jpg, "
            "notes.txt). Its recordings are in the folder Poems, where the archive is kept.");
}

// Two drops of one archive in quick succession: the second copy is "Name (2).zip", and when
// "Name (2)" is taken by then its folder is numbered on, not numbered twice.
TEST_F(Unpack, ANumberedArchiveTakesTheNextNumber) {
  mkdir(doc("Small Audiobook").c_str(), 0755);
  write_file(doc("Small Audiobook.zip"), zipw::build({{"01.mp3", "first"}}));
  write_file(doc("Small Audiobook (2).zip"), zipw::build({{"01.mp3", "second"}}));
  for (const char* name : {"Small Audiobook.zip", "Small Audiobook (2).zip"}) {
    EXPECT_EQ(unpack_archive("/mnt/us/documents", name, never_, {}, false).outcome,
              ArchiveOutcome::unpacked);
  }
  EXPECT_EQ(read_file(doc("Small Audiobook (2)/01.mp3")), "first");
  EXPECT_EQ(read_file(doc("Small Audiobook (3)/01.mp3")), "second");
  EXPECT_EQ(all_entries(docs()), 3u);
}

TEST_F(Unpack, ATakenFolderNameIsNeverUnpackedInto) {
  mkdir(doc("Poems").c_str(), 0755);
  write_file(doc("Poems/01.mp3"), "the reader's own");
  write_file(doc("Poems.zip"), zipw::build({{"Poems/01.mp3", "from the archive"}, {"Poems/02.mp3", "two"}}));
  EXPECT_EQ(ql_unpack_zips("/mnt/us/documents"), 1);
  EXPECT_EQ(read_file(doc("Poems/01.mp3")), "the reader's own");
  EXPECT_EQ(entries_in(doc("Poems")), 1u);
  EXPECT_EQ(read_file(doc("Poems (2)/01.mp3")), "from the archive");
  EXPECT_EQ(read_file(doc("Poems (2)/02.mp3")), "two");
  EXPECT_FALSE(file_exists(doc("Poems.zip")));
}

TEST_F(Unpack, LongMemberNamesAreShortenedToFit) {
  const std::string fits(251, 'f'), too_long(296, 'l'), twin = too_long + "x";
  std::string e_acute_run;
  for (int i = 0; i < 130; ++i) e_acute_run += "\xc3\xa9";  // 260 bytes of two-byte letters
  write_file(doc("Long.zip"), zipw::build({{"a/" + fits + ".mp3", "1"},
                                           {"a/" + too_long + ".mp3", "2"},
                                           {"a/" + e_acute_run + ".ogg", "3"}}));
  // Two names that meet only once shortened.
  write_file(doc("Twins.zip"), zipw::build({{"a/" + too_long + ".mp3", "1"}, {"a/" + twin + ".mp3", "2"}}));
  EXPECT_EQ(ql_unpack_zips("/mnt/us/documents"), 2);
  EXPECT_EQ(read_file(doc("Long/" + fits + ".mp3")), "1");  // 255 bytes: no part suffix to push it over
  const std::string cut = std::string(251, 'l');
  EXPECT_EQ(read_file(doc("Long/" + cut + ".mp3")), "2");
  // Never cut inside a character: 125 whole letters (250 bytes) and the extension.
  std::string kept;
  for (int i = 0; i < 125; ++i) kept += "\xc3\xa9";
  EXPECT_EQ(read_file(doc("Long/" + kept + ".ogg")), "3");
  EXPECT_EQ(entries_in(doc("Long")), 3u);
  // Numbered within the limit, before the extension.
  EXPECT_EQ(read_file(doc("Twins/" + cut + ".mp3")), "1");
  EXPECT_EQ(read_file(doc("Twins/" + cut.substr(0, 247) + " (2).mp3")), "2");
  EXPECT_EQ(entries_in(doc("Twins")), 2u);
}

TEST_F(Unpack, RecordingsThatDoNotFitAreNotStarted) {
  // 1000 members each stating 4 GiB: more than any test machine has free. Nothing is written.
  // Each states 4 MiB of compressed bytes, as much as deflate needs for that, all inside the file.
  std::vector<zipw::Member> members;
  for (int i = 0; i < 1000; ++i) {
    members.emplace_back("big" + std::to_string(i) + ".mp3", "x", zipw::kDeflated, 0, 0xFFFFFFFFu,
                         std::nullopt, 0, 0x400000);
  }
  members.emplace_back("pad.bin", std::string(0x410000, '\0'), zipw::kStored);
  const std::string bomb = zipw::build(members);
  write_file(doc("Bomb.zip"), bomb);
  EXPECT_EQ(ql_unpack_zips("/mnt/us/documents"), 0);
  EXPECT_FALSE(file_exists(doc("Bomb")));
  EXPECT_EQ(read_file(doc("Bomb.zip")), bomb);
  EXPECT_EQ(entries_in(docs()), 1u);
  const std::vector<ArchiveReport> reports = unpack_take_reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].outcome, ArchiveOutcome::no_room);
  EXPECT_GT(reports[0].result.needed, reports[0].result.available);
  EXPECT_NE(unpack_notice(reports[0]).find("There is no room to unpack Bomb.zip"), std::string::npos);
  // Room may be made: such an archive is looked at again, still without writing.
  EXPECT_EQ(ql_unpack_zips("/mnt/us/documents"), 0);
  EXPECT_EQ(unpack_take_reports().size(), 1u);
}

TEST_F(Unpack, ProgressIsToldForEveryRecording) {
  write_file(doc("Many.zip"),
             zipw::build({{"1.mp3", "a"}, {"cover.jpg", "c"}, {"2.mp3", "b"}, {"3.mp3", "c"}}));
  std::vector<std::string> told;
  ql_unpack_zips("/mnt/us/documents", [&told](std::string_view archive, size_t done, size_t total) {
    told.push_back(std::string(archive) + " " + std::to_string(done) + "/" + std::to_string(total));
  });
  EXPECT_EQ(told, (std::vector<std::string>{"Many.zip 1/3", "Many.zip 2/3", "Many.zip 3/3"}));
}

// An unpack cut short at each of its steps, as the journal and the folders then stand, is
// completed by the next start: the recordings whole in one folder, the archive gone, nothing
// hidden or half-written left.
TEST_F(Unpack, AnUnpackCutShortIsCompletedAtTheNextStart) {
  const std::string archive = zipw::build({{"01.mp3", "one"}, {"02.mp3", "two"}});
  const std::string job = doc(".unpacking.job");
  const auto journal = [](const std::string& after) {
    return std::string("Book.zip") + '\0' + "Book" + '\0' + after;
  };
  const struct {
    const char* name;
    std::string journal;      // empty: none
    bool staging_full;        // the staging folder holds both recordings (else one half-written)
    bool staging_there;
    bool folder_there;        // the staging folder was already renamed into view
    bool archive_there;
  } cases[] = {
      {"journal only", journal(""), false, false, false, true},
      {"recordings coming out", journal(""), false, true, false, true},
      {"all out, not yet renamed", journal("remove"), true, true, false, true},
      {"renamed, archive not yet removed", journal("remove"), true, false, true, true},
      {"renamed, archive removed", journal("remove"), true, false, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(job, c.journal);
    if (c.archive_there) write_file(doc("Book.zip"), archive);
    const std::string hold = c.staging_there ? doc(".unpacking") : doc("Book");
    if (c.staging_there || c.folder_there) {
      mkdir(hold.c_str(), 0755);
      write_file(hold + "/01.mp3", "one");
      write_file(hold + "/02.mp3", c.staging_full ? "two" : "tw");
    }
    ql_unpack_resume("/mnt/us/documents");
    EXPECT_EQ(read_file(doc("Book/01.mp3")), "one");
    EXPECT_EQ(read_file(doc("Book/02.mp3")), "two");
    EXPECT_EQ(entries_in(doc("Book")), 2u);
    EXPECT_EQ(all_entries(docs()), 1u);  // no archive, journal or staging folder
    std::filesystem::remove_all(doc("Book"));
  }
  // A partly unpacked archive whose folder was renamed into view goes inside it.
  write_file(job, journal("keep"));
  write_file(doc("Book.zip"), archive);
  mkdir(doc("Book").c_str(), 0755);
  write_file(doc("Book/01.mp3"), "one");
  ql_unpack_resume("/mnt/us/documents");
  EXPECT_EQ(read_file(doc("Book/Book.zip")), archive);
  EXPECT_EQ(all_entries(docs()), 1u);
  // A staging folder without its journal is thrown away; the archive beside it stays for the
  // next unpack.
  mkdir(doc(".unpacking").c_str(), 0755);
  write_file(doc(".unpacking/01.mp3"), "o");
  write_file(doc("Other.zip"), archive);
  ql_unpack_resume("/mnt/us/documents");
  EXPECT_FALSE(file_exists(doc(".unpacking")));
  EXPECT_EQ(read_file(doc("Other.zip")), archive);
}

}  // namespace
