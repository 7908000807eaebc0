// Failed saves of what the reader made: the message is shown once per run of failures, and the
// next save after space returns writes everything, the notes that failed before included. A full
// storage is the process's own file-size limit (tests run as root, which file modes do not stop).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/reader/vocab_file.h"
#include "app/ui/app_state.h"
#include "app/ui/save_notice.h"
#include "app/ui/ui_message.h"
#include "book/annotations.h"
#include "display/framebuffer.h"
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
