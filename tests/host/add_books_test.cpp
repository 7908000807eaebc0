#include "base/file_kinds.h"
#include "base/paths.h"
#include "host/add_books.h"
#include "host/host_queue.h"
#include "support/event_ceiling.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class AddBooks : public ::testing::Test {
 protected:
  TempDir data;
  TempDir outside;
  std::string docs;

  void SetUp() override {
    host_reset();
    docs = data / "documents";
    fs::create_directories(docs);
    ql_set_root(data.path().c_str(), outside.path().c_str());
  }
  void TearDown() override {
    ql_set_root(nullptr, nullptr);
    host_reset();
  }

  std::string source(const std::string& name, const std::string& bytes = "book") {
    const std::string p = outside / name;
    fs::create_directories(fs::path(p).parent_path());
    write_file(p, bytes);
    return p;
  }
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(docs)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  static int events_of(uint32_t type) {
    int n = 0, x, y, t;
    while ((t = plat_event(0, &x, &y)) != 0) n += t == static_cast<int>(type) ? 1 : 0;
    return n;
  }
};

}  // namespace

TEST(BookFileNames, SeventeenKindsAnyCase) {
  struct Case {
    const char* name;
    bool taken;
  } cases[] = {
      {"a.epub", true},  {"B.EPUB", true},   {"c.Pdf", true},   {"d.azw3", true},
      {"e.m4b", true},   {"f.opus", true},   {"g.zip", true},   {"h.aac", true},
      {"i.docx", false}, {"j.azw", false},   {"k.prc", false},  {"epub", false},
      {"l.epub.part", false}, {"m.", false}, {".epub", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(is_accepted_by_drop(c.name), c.taken);
  }
}

TEST_F(AddBooks, CopiesBooksAndPostsOneEvent) {
  const std::string a = source("Alpha.epub", "alpha");
  const std::string b = source("b.mp3", "bee");
  const std::string doc = source("notes.docx");
  EXPECT_EQ(add_books({a, b, doc, outside / "missing.epub"}), 2);
  ASSERT_TRUE(wait_added_books(kEventCeilingMs));
  EXPECT_EQ(listing(), (std::vector<std::string>{"Alpha.epub", "b.mp3"}));
  EXPECT_EQ(read_file(docs + "/Alpha.epub"), "alpha");
  EXPECT_EQ(read_file(docs + "/b.mp3"), "bee");
  EXPECT_EQ(events_of(HOST_BOOKS_ADDED), 1);
}

TEST_F(AddBooks, NothingTakenPostsNothing) {
  EXPECT_EQ(add_books({source("report.docx"), outside / "gone.epub"}), 0);
  EXPECT_TRUE(listing().empty());
  EXPECT_EQ(plat_pending(), 0);
}

TEST_F(AddBooks, NumbersNamesThatAreTaken) {
  write_file(docs + "/Book.EPUB", "old");
  const std::string src = source("Book.EPUB", "new");
  EXPECT_EQ(copy_books_into({src}, docs), 1);
  EXPECT_EQ(copy_books_into({src}, docs), 1);
  EXPECT_EQ(listing(), (std::vector<std::string>{"Book (2).EPUB", "Book (3).EPUB", "Book.EPUB"}));
  EXPECT_EQ(read_file(docs + "/Book.EPUB"), "old");
  EXPECT_EQ(read_file(docs + "/Book (2).EPUB"), "new");
}

TEST_F(AddBooks, GivesUpAfterNumber999) {
  write_file(docs + "/x.txt", "");
  for (int n = 2; n <= 999; n++) write_file(docs + "/x (" + std::to_string(n) + ").txt", "");
  EXPECT_EQ(copy_books_into({source("x.txt", "fresh")}, docs), 0);
  EXPECT_EQ(read_file(docs + "/x (999).txt"), "");  // never overwritten
  EXPECT_EQ(listing().size(), 999u);
}

TEST_F(AddBooks, FolderIsCopiedWholeWhateverItsName) {
  source("Audio Book/01.mp3", "one");
  source("Audio Book/cover.jpg", "jpg");
  source("Audio Book/disc 2/02.mp3", "two");
  fs::create_symlink(outside / "Audio Book", outside / "Audio Book/disc 2/loop");
  fs::create_symlink(outside / "Audio Book/01.mp3", outside / "Audio Book/linked.mp3");
  EXPECT_EQ(copy_books_into({outside / "Audio Book/"}, docs), 1);
  EXPECT_EQ(read_file(docs + "/Audio Book/01.mp3"), "one");
  EXPECT_EQ(read_file(docs + "/Audio Book/cover.jpg"), "jpg");
  EXPECT_EQ(read_file(docs + "/Audio Book/disc 2/02.mp3"), "two");
  EXPECT_EQ(read_file(docs + "/Audio Book/linked.mp3"), "one");  // a linked file's content
  EXPECT_FALSE(fs::exists(fs::symlink_status(docs + "/Audio Book/disc 2/loop")));
  // Again: numbered as a whole name, not split at a dot.
  EXPECT_EQ(copy_books_into({outside / "Audio Book"}, docs), 1);
  EXPECT_TRUE(fs::exists(docs + "/Audio Book (2)/disc 2/02.mp3"));
}

TEST_F(AddBooks, FolderKeepsFilesNamedLikePartFiles) {
  // Files named like part files are the user's: each must arrive, in whatever order the folder
  // lists them.
  for (const char* name : {"a.mp3.part.part", "a.mp3.part", "a.mp3"}) source(std::string("Shelf/") + name, name);
  EXPECT_EQ(copy_books_into({outside / "Shelf"}, docs), 1);
  for (const char* name : {"a.mp3", "a.mp3.part", "a.mp3.part.part"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(read_file(docs + "/Shelf/" + name), name);
  }
  EXPECT_EQ(entries_in(docs + "/Shelf"), 3u);
}

TEST_F(AddBooks, FolderNeverCopiedIntoItself) {
  write_file(docs + "/a.epub", "a");
  EXPECT_EQ(copy_books_into({docs}, docs), 0);
  EXPECT_EQ(copy_books_into({data.path()}, docs), 0);  // documents lies inside it
  EXPECT_EQ(listing(), (std::vector<std::string>{"a.epub"}));
  // A folder inside documents is copied beside itself, which is fine.
  fs::create_directories(docs + "/Series");
  write_file(docs + "/Series/1.epub", "1");
  EXPECT_EQ(copy_books_into({docs + "/Series"}, docs), 1);
  EXPECT_EQ(read_file(docs + "/Series (2)/1.epub"), "1");
}

TEST_F(AddBooks, FailedCopyLeavesNothing) {
  // Reading this file fails part-way (as a failing disk would), whoever runs the test.
  fs::create_symlink("/proc/self/mem", outside / "broken.epub");
  fs::create_directories(outside / "Shelf");
  write_file(outside / "Shelf/good.epub", "good");
  fs::create_symlink("/proc/self/mem", outside / "Shelf/zz-broken.epub");
  EXPECT_EQ(add_books({outside / "broken.epub", outside / "Shelf"}), 2);  // taken, then failed
  ASSERT_TRUE(wait_added_books(kEventCeilingMs));
  EXPECT_TRUE(listing().empty());  // neither the book, the folder, nor any ".part" is left
  EXPECT_EQ(plat_pending(), 0);
}

TEST_F(AddBooks, UsersOwnPartFilesAreNeverTouched) {
  // Copies go through hidden names of the program's own; a ".part" file beside the target is the
  // user's, whether the item is a file or a folder.
  write_file(docs + "/c.fb2.part", "the user's");
  write_file(docs + "/Shelf.part", "the user's too");
  source("Shelf/d.epub", "d");
  EXPECT_EQ(copy_books_into({source("c.fb2", "whole"), outside / "Shelf"}, docs), 2);
  EXPECT_EQ(listing(), (std::vector<std::string>{"Shelf", "Shelf.part", "c.fb2", "c.fb2.part"}));
  EXPECT_EQ(read_file(docs + "/c.fb2"), "whole");
  EXPECT_EQ(read_file(docs + "/c.fb2.part"), "the user's");
  EXPECT_EQ(read_file(docs + "/Shelf.part"), "the user's too");
}

TEST_F(AddBooks, NamesANumberMakesTooLongAreShortened) {
  // The part name does not grow with the target's, so names of up to 255 bytes arrive whole; a
  // numbered copy is cut before the extension, and files inside a copied folder keep their names.
  const std::string stem(250, 'b');
  const std::string book = stem + ".epub";  // 255 bytes
  const std::string src = source(book, "long");
  const std::string inner(251, 'p');
  const std::string folder = "Shelf " + std::string(249, 's');  // 255 bytes
  source(folder + "/" + inner + ".mp3", "part");
  EXPECT_EQ(copy_books_into({src, src, outside / folder}, docs), 3);
  EXPECT_EQ(read_file(docs + "/" + book), "long");
  EXPECT_EQ(read_file(docs + "/" + stem.substr(0, 246) + " (2).epub"), "long");
  EXPECT_EQ(read_file(docs + "/" + folder + "/" + inner + ".mp3"), "part");
  EXPECT_EQ(listing().size(), 3u);
}
