// What the reader made stays in memory while its file cannot be written (a full storage is the
// process's own file-size limit), and reaches the file whole once a write succeeds.
#include "base/held_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "support/device_folder.h"
#include "support/file_size_limit.h"

namespace {
constexpr char kNotes[] = "/mnt/us/ql/state/a.notes";
constexpr char kWords[] = "/mnt/us/ql/state/vocab.tsv";

class HeldFiles : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(held_files_write(), 0u); }  // nothing left for the next test
  DeviceFolder dev_;
};

TEST_F(HeldFiles, FailedWritesAreHeldWholeAndWrittenLater) {
  write_file(dev_.state("a.notes"), "old\n");
  write_file(dev_.state("vocab.tsv"), "w0\n");
  {
    FileSizeLimit full(4);
    EXPECT_FALSE(held_replace(kNotes, "first try\n", ReaderWork::Notes));
    EXPECT_EQ(errno, EFBIG);
    EXPECT_FALSE(held_replace(kNotes, "second try\n", ReaderWork::Notes));  // the newest is held
    EXPECT_FALSE(held_append(kWords, "w1\n", ReaderWork::Vocabulary));
    EXPECT_FALSE(held_append(kWords, "w2\n", ReaderWork::Vocabulary));
    ASSERT_NE(held_content(kNotes), nullptr);
    EXPECT_EQ(*held_content(kNotes), "second try\n");
    EXPECT_EQ(held_content(kWords), nullptr);  // appended lines are no file's content
    // The files are as they were: no part of a line, no temporary file.
    EXPECT_EQ(read_file(dev_.state("a.notes")), "old\n");
    EXPECT_EQ(read_file(dev_.state("vocab.tsv")), "w0\n");
    EXPECT_FALSE(file_exists(dev_.state("a.notes.tmp")));
    EXPECT_EQ(held_files_write(),
              reader_work_bit(ReaderWork::Notes) | reader_work_bit(ReaderWork::Vocabulary));
  }
  EXPECT_EQ(held_files_write(), 0u);
  EXPECT_EQ(read_file(dev_.state("a.notes")), "second try\n");
  EXPECT_EQ(read_file(dev_.state("vocab.tsv")), "w0\nw1\nw2\n");
  EXPECT_EQ(held_content(kNotes), nullptr);
}

TEST_F(HeldFiles, TheNextWriteOfTheFileTakesWhatIsHeldAlong) {
  {
    FileSizeLimit full(4);
    EXPECT_FALSE(held_replace(kNotes, "stale\n", ReaderWork::Notes));
    EXPECT_FALSE(held_append(kWords, "early\n", ReaderWork::Vocabulary));
  }
  EXPECT_TRUE(held_replace(kNotes, "fresh\n", ReaderWork::Notes));
  EXPECT_TRUE(held_append(kWords, "late\n", ReaderWork::Vocabulary));
  EXPECT_EQ(held_content(kNotes), nullptr);
  EXPECT_EQ(read_file(dev_.state("a.notes")), "fresh\n");
  EXPECT_EQ(read_file(dev_.state("vocab.tsv")), "early\nlate\n");
  // Nothing is held any more: a retry writes nothing over the newer file.
  write_file(dev_.state("a.notes"), "changed outside\n");
  EXPECT_EQ(held_files_write(), 0u);
  EXPECT_EQ(read_file(dev_.state("a.notes")), "changed outside\n");
}

TEST_F(HeldFiles, AMissingFolderIsMade) {
  const std::string bookmarks = "/mnt/us/ql/state/bm/b.txt";
  EXPECT_TRUE(held_replace(bookmarks, "1.0\tpart.mp3\n", ReaderWork::AudioBookmarks));
  EXPECT_EQ(read_file(dev_.state("bm/b.txt")), "1.0\tpart.mp3\n");
}
}  // namespace
