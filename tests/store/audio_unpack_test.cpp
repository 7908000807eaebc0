// Audiobook archives unpacked into folders: which members become recordings and under which
// names, when the archive may go, and damaged archives that must not lose or invent anything.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/device_root.h"
#include "store/audio_unpack.h"
#include "support/zip_writer.h"

namespace {

class Unpack : public testing::Test {
 protected:
  void SetUp() override { mkdir(docs().c_str(), 0755); }
  std::string docs() const { return root_.host("us/documents"); }
  std::string doc(const std::string& name) const { return docs() + "/" + name; }
  // Writes the archive as documents/NAME.zip, makes its folder and unpacks it.
  UnpackResult unpack(const std::string& name, const std::string& bytes) {
    write_file(doc(name + ".zip"), bytes);
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
  } cases[] = {
      {"recordings flat, junk skipped",
       {{"Book/01.mp3", "one"}, {"Book/02.MP3", "two", zipw::kStored},
        {"__MACOSX/Book/._01.mp3", "fork"}, {"cover.jpg", "jpeg"}, {"Book/", ""}},
       2, true, {"01.mp3", "02.MP3"}},
      {"forbidden characters", {{"Part 1: b?<\"|*>.mp3", "x"}}, 1, true, {"Part 1_ b______.mp3"}},
      {"a drive letter is an unsafe name", {{"a:b.mp3", "x"}}, 0, false, {}},
      {"same name in two folders", {{"B/CD1/01.ogg", "a"}, {"B/CD2/01.ogg", "b"}, {"B/CD2/02.ogg", "c"}},
       3, true, {"CD1 - 01.ogg", "CD2 - 01.ogg", "CD2 - 02.ogg"}},
      {"qualified names that still meet",
       {{"a/b.mp3", "1"}, {"a - b.mp3", "2"}, {"c/b.mp3", "3"}}, 3, true,
       {"a - b.mp3", "a - b (2).mp3", "c - b.mp3"}},
      {"no recording at all", {{"book.pdf", "%PDF"}}, 0, true, {}},
      {"unsafe member names are not written", {{"../up.mp3", "x"}, {"ok.mp3", "y"}}, 1, false,
       {"ok.mp3"}},
      {"unsupported method keeps the archive", {{"a.mp3", "x", zipw::kStored, 0, {}, 12}}, 0, false, {}},
      {"encrypted member keeps the archive", {{"a.mp3", "x", zipw::kStored, 1}}, 0, false, {}},
      {"stated size larger than the data", {{"a.mp3", "abc", zipw::kDeflated, 0, 9}}, 0, false, {}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = "case" + std::to_string(n++);
    const UnpackResult r = unpack(name, zipw::build(c.members));
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
  write_file(doc("Whole.zip"), zipw::build({{"01.mp3", "a"}, {"notes.txt", "n"}}));
  write_file(doc("Booklet.zip"), zipw::build({{"booklet.pdf", "%PDF"}}));
  std::string damaged = zipw::build({{"01.mp3", "aaaa", zipw::kStored}, {"02.mp3", "b"}});
  damaged[damaged.find("aaaa")] = 'X';
  write_file(doc("Damaged.zip"), damaged);
  write_file(doc(".hidden.zip"), zipw::build({{"01.mp3", "a"}}));
  EXPECT_EQ(ql_unpack_zips("/mnt/us/documents"), 1);
  EXPECT_FALSE(file_exists(doc("Whole.zip")));
  EXPECT_EQ(read_file(doc("Whole/01.mp3")), "a");
  EXPECT_TRUE(file_exists(doc("Booklet.zip")));
  EXPECT_FALSE(file_exists(doc("Booklet")));  // the empty folder went
  EXPECT_TRUE(file_exists(doc("Damaged.zip")));
  EXPECT_EQ(read_file(doc("Damaged/02.mp3")), "b");
  EXPECT_TRUE(file_exists(doc(".hidden.zip")));
}

}  // namespace
