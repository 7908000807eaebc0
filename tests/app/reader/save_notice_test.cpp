// Failed saves of what the reader made: the message is shown once per run of failures, and the
// next save after space returns writes everything, the notes that failed before included. A full
// storage is the process's own file-size limit (tests run as root, which file modes do not stop).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/reader/vocab_file.h"
#include "app/ui/ui_wait.h"
#include "audio/audio_book.h"
#include "app/ui/app_state.h"
#include "app/ui/save_notice.h"
#include "app/ui/ui_message.h"
#include "book/annotations.h"
#include "display/framebuffer.h"
#include "library/collections.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"
#include "support/ui_screen_fixture.h"

namespace {

std::vector<uint8_t> frame() {
  return {ql_fb().pixels, ql_fb().pixels + size_t(ql_fb().width) * size_t(ql_fb().height)};
}

class SaveNotice : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    strcpy(app.reader.open_path, "/mnt/us/documents/Tide.epub");
    qla_load(app.reader.open_path);
  }
  // What a test left unsaved must not reach the next test's folder.
  void TearDown() override {
    EXPECT_TRUE(ui_retry_failed_saves());
    ScreenTest::TearDown();
  }
  std::string notes_name() const { return std::filesystem::path(qla_book_key()).filename(); }
  std::string notes() const { return read_file(root_.state(notes_name())); }
  // The frame a failed save leaves on a clear screen.
  static std::vector<uint8_t> after(bool (*save)()) {
    ql_clear();
    save();
    return frame();
  }
  static std::vector<uint8_t> blank() {
    ql_clear();
    return frame();
  }
  static std::vector<uint8_t> toast_of(const std::string& text) {
    ql_clear();
    ui_toast(text.c_str(), text.size());
    return frame();
  }
};

}  // namespace

TEST(SaveFailureText, NamesTheWorkAndTheReason) {
  EXPECT_EQ(save_failure_text(ReaderWork::Notes, ENOSPC),
            "Could not save your notes: the storage is full.");
  EXPECT_EQ(save_failure_text(ReaderWork::Collections, EROFS),
            "Could not save your collections: the storage is read-only.");
  EXPECT_EQ(save_failure_text(ReaderWork::Vocabulary, EFBIG),
            "Could not save your vocabulary: the storage is full.");
  EXPECT_EQ(save_failure_text(ReaderWork::AudioBookmarks, EIO),
            "Could not save your audiobook bookmarks.");
}

TEST_F(SaveNotice, FullStorageIsToldOnceAndTheNotesAreSavedWhenSpaceReturns) {
  ASSERT_EQ(qla_hl_add(2, 5, "first thought"), 1);
  {
    FileSizeLimit full(8);
    EXPECT_EQ(after(ui_save_notes), toast_of("Could not save your notes: the storage is full."));
    EXPECT_EQ(notes(), "");
    ASSERT_EQ(qla_hl_add(7, 9, "second thought"), 1);
    EXPECT_EQ(after(ui_save_notes), blank());  // told once: the screen stays as it was
  }
  ASSERT_EQ(qla_bm_add(12, "", 1), 1);
  EXPECT_EQ(after(ui_save_notes), blank());
  const std::string saved = notes();
  EXPECT_NE(saved.find("first thought"), std::string::npos);
  EXPECT_NE(saved.find("second thought"), std::string::npos);
  EXPECT_NE(saved.find("BT 12 "), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(root_.state(notes_name() + ".tmp")));

  {
    FileSizeLimit full(8);  // after a success the next failure is told again
    EXPECT_EQ(after(ui_save_notes), toast_of("Could not save your notes: the storage is full."));
  }
  EXPECT_TRUE(ui_save_notes());
}

TEST_F(SaveNotice, UnwritableStateFolderIsTold) {
  // A file where the state folder should be: nothing can be written under it.
  std::filesystem::remove_all(root_.state(""));
  write_file(root_.host("us/ql/state"), "");
  ASSERT_EQ(qla_hl_add(2, 5, "lost?"), 1);
  EXPECT_EQ(after(ui_save_notes), toast_of("Could not save your notes."));
  std::filesystem::remove(root_.host("us/ql/state"));
  std::filesystem::create_directory(root_.host("us/ql/state"));
  EXPECT_TRUE(ui_save_notes());
  EXPECT_NE(notes().find("lost?"), std::string::npos);
}

TEST_F(SaveNotice, WordsLookedUpWhileTheStorageIsFullAreAddedLater) {
  write_file(root_.state("vocab.tsv"), "");
  {
    FileSizeLimit full(4);
    ql_clear();
    EXPECT_FALSE(vocab_append("ephemeral", "/mnt/us/documents/Tide.epub"));
    EXPECT_EQ(frame(), toast_of("Could not save your vocabulary: the storage is full."));
    EXPECT_FALSE(vocab_append("fleeting", "/mnt/us/documents/Tide.epub"));
    EXPECT_EQ(read_file(root_.state("vocab.tsv")), "");  // no part of a line is left behind
  }
  EXPECT_TRUE(vocab_append("lasting", "/mnt/us/documents/Tide.epub"));
  const std::string words = read_file(root_.state("vocab.tsv"));
  EXPECT_EQ(words.rfind("ephemeral\t", 0), 0u) << words;
  EXPECT_NE(words.find("\nfleeting\t"), std::string::npos) << words;
  EXPECT_NE(words.find("\nlasting\t"), std::string::npos) << words;
}

// Every kind of the reader's work whose save failed is kept, and a quit writes it once space has
// returned (the quit used to save only progress, settings and interface state).
TEST_F(SaveNotice, QuitWritesEveryKindThatFailedToSave) {
  write_file(root_.state("vocab.tsv"), "");
  ASSERT_EQ(qla_hl_add(2, 5, "kept for later"), 1);
  {
    FileSizeLimit full(4);
    EXPECT_FALSE(ui_save_notes());
    EXPECT_FALSE(vocab_append("ephemeral", app.reader.open_path));
    EXPECT_TRUE(collection_create("Sea stories"));  // made, though its file could not be written
    EXPECT_EQ(audio_bookmark_add("00ab", 61.5, "01.mp3"), BookmarkAdd::WriteFailed);
    // The bookmark that could not be saved is still listed.
    ASSERT_EQ(audio_bookmarks_read("00ab").size(), 1u);
  }
  EXPECT_EXIT(
      {
        touches_.event(HOST_QUIT);
        TapEvent e;
        ui_wait_event(e);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_NE(notes().find("kept for later"), std::string::npos);
  EXPECT_EQ(read_file(root_.state("vocab.tsv")).rfind("ephemeral\t", 0), 0u);
  EXPECT_EQ(read_file(root_.state("collections.tsv")), "C\tSea stories\n");
  EXPECT_EQ(read_file(root_.state("audio-bm-00ab.txt")), "61.5\t01.mp3\n");
  collections.count = collections.membership_count = 0;
}

TEST_F(SaveNotice, AQuitThatStillCannotSaveSaysSoBeforeTheEnd) {
  write_file(root_.state("vocab.tsv"), "");
  ASSERT_EQ(qla_hl_add(2, 5, "not yet on disk"), 1);
  {
    FileSizeLimit full(4);
    EXPECT_FALSE(ui_save_notes());
    EXPECT_FALSE(vocab_append("ephemeral", app.reader.open_path));
    // The position of the session, which no save of it has put on disk, is still the book's.
    EXPECT_FALSE(ql_save_position(app.reader.open_path, 1234, 40));
    int font = 0;
    EXPECT_EQ(ql_load_position(app.reader.open_path, &font), 1234u);
    ql_clear();
    ui_tell_unsaved_at_quit();
    EXPECT_EQ(frame(), toast_of("Could not save your reading position, your notes and your "
                                "vocabulary: the storage is full."));
  }
  // The quit itself, which writes the same line to the log (a full storage would cut the log, so
  // here a file stands where the state folder should be).
  std::filesystem::remove_all(root_.state(""));
  write_file(root_.host("us/ql/state"), "");
  EXPECT_EXIT(
      {
        touches_.event(HOST_QUIT);
        TapEvent e;
        ui_wait_event(e);
      },
      testing::ExitedWithCode(0),
      "at quit: Could not save your reading position, your notes and your vocabulary");
  std::filesystem::remove(root_.host("us/ql/state"));
  std::filesystem::create_directory(root_.host("us/ql/state"));
}

TEST_F(SaveNotice, UnsavedNotesOutliveOpeningAnotherBook) {
  ASSERT_EQ(qla_hl_add(2, 5, "first thought"), 1);
  {
    FileSizeLimit full(8);
    EXPECT_FALSE(ui_save_notes());
    qla_load("/mnt/us/documents/Other.epub");  // another book's notes take the table
    EXPECT_EQ(qla_hl_count(), 0u);
    qla_load(app.reader.open_path);  // and this book's come back, not the file under them
    ASSERT_EQ(qla_hl_count(), 1u);
    EXPECT_STREQ(qla_hls()[0].note, "first thought");
    EXPECT_FALSE(ui_retry_failed_saves());
  }
  EXPECT_TRUE(ui_retry_failed_saves());
  EXPECT_NE(notes().find("first thought"), std::string::npos);
  {
    FileSizeLimit full(8);  // a retry that succeeded lets the next failure be told
    EXPECT_EQ(after(ui_save_notes), toast_of("Could not save your notes: the storage is full."));
  }
}

TEST(SaveFailureText, NamesEveryKindLeft) {
  const unsigned all = reader_work_bit(ReaderWork::Notes) | reader_work_bit(ReaderWork::Collections) |
                       reader_work_bit(ReaderWork::Vocabulary) |
                       reader_work_bit(ReaderWork::AudioBookmarks);
  EXPECT_EQ(save_failure_text(all, ENOSPC),
            "Could not save your notes, your collections, your vocabulary and your audiobook "
            "bookmarks: the storage is full.");
  EXPECT_EQ(save_failure_text(reader_work_bit(ReaderWork::Collections) |
                                  reader_work_bit(ReaderWork::AudioBookmarks),
                              EROFS),
            "Could not save your collections and your audiobook bookmarks: the storage is "
            "read-only.");
}
