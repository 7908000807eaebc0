// The storage wait: a documents folder that vanished alone is made again, the desktop remakes a
// removed data folder, and on the device the USB screen holds the program until the storage
// returns, the button is pressed (with its 15 s of grace) or the program is told to quit.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>

#include "app/ui/app_state.h"
#include "book/dict/stardict.h"
#include "library/document_scan.h"
#include "library/library_view.h"
#include "settings/usb_drive.h"
#include "device_settings_fixture.h"
#include "support/stardict_writer.h"

namespace {
class UsbDrive : public DeviceSettingsTest {
 protected:
  // The storage as a computer holds it: neither the documents nor the program folder is there.
  void export_storage() {
    std::filesystem::remove_all(root_.host("us/documents"));
    std::filesystem::remove_all(root_.host("us/ql"));
  }
  void storage_back() {
    mkdir(root_.host("us/ql").c_str(), 0755);
    mkdir(docs().c_str(), 0755);
    write_file(docs() + "/copied.epub", "a book copied over USB");
  }
  static bool is_dir(const std::string& path) { return std::filesystem::is_directory(path); }
  // How many of this process's open files lie under the host folder `path`.
  static int files_open_under(const std::string& path) {
    int n = 0;
    std::error_code ec;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
      const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
      if (!ec && target.starts_with(path)) n++;
    }
    return n;
  }
};
}  // namespace

TEST_F(UsbDrive, DesktopRemakesARemovedDataFolderWithoutAScreen) {
  write_file(docs() + "/gone.epub", "a book removed with the data folder");
  library_rescan_documents();
  ASSERT_EQ(ql_entries().size(), 1u);
  std::filesystem::remove_all(root_.host("us"));
  ql_clear();
  usb_storage_wait();
  EXPECT_TRUE(is_dir(docs()));
  EXPECT_TRUE(is_dir(root_.host("us/ql/state")));
  EXPECT_EQ(darkest(0, 0, W(), H()), 255);  // nothing drawn
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_TRUE(qls_save(settings));  // the state has somewhere to go again
  EXPECT_TRUE(ql_entries().empty());
}

TEST_F(UsbDrive, DeviceRemakesDocumentsAloneWithoutAScreen) {
  device_platform_for_tests(true);
  std::filesystem::remove_all(docs());
  ql_clear();
  usb_storage_wait();
  EXPECT_TRUE(is_dir(docs()));
  EXPECT_EQ(darkest(0, 0, W(), H()), 255);
  EXPECT_TRUE(ScriptedTouch::done());
}

TEST_F(UsbDrive, DeviceWaitsUntilTheStorageReturnsThenRescans) {
  device_platform_for_tests(true);
  export_storage();
  touches_.touch(500, 1300);  // outside the button: ignored
  touches_.at_wait([this] {
    EXPECT_LT(darkest(48, 120, 400, 80), 100);  // "Connected"
    storage_back();
  });
  app.present.clean = false;
  usb_storage_wait();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(ql_entries().size(), 1u);
  EXPECT_TRUE(app.present.clean);
}

TEST_F(UsbDrive, TheButtonBandLetsTheUserKeepReading) {
  device_platform_for_tests(true);
  const int button = usb_connected_screen();
  struct Case {
    int dy;
    bool counts;
  } cases[] = {{-kUsbButtonAbove, true},
               {kUsbButtonBelow, true},
               {75, true},
               {-kUsbButtonAbove - 1, false},
               {kUsbButtonBelow + 1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dy);
    export_storage();
    touches_.touch(500, button + c.dy);
    // A tap outside the button is ignored; the storage then comes back, which ends the wait.
    if (!c.counts) touches_.at_wait([this] { storage_back(); });
    const double start = ScriptedTouch::now();
    usb_storage_wait();
    EXPECT_TRUE(ScriptedTouch::done());
    const double waited = ScriptedTouch::now() - start;
    if (c.counts) {
      // The drive stayed exported: back after 60 waits of 250 ms.
      EXPECT_GE(waited, 15000);
      EXPECT_LT(waited, 15000 + 700);
      EXPECT_FALSE(is_dir(docs()));
    } else {
      EXPECT_LT(waited, 2000);
    }
  }
}

TEST_F(UsbDrive, TheKeepReadingWaitEndsEarlyWhenTheStorageReturns) {
  device_platform_for_tests(true);
  const int button = usb_connected_screen();
  export_storage();
  touches_.touch(500, button + 75);
  touches_.at_wait([this] { storage_back(); });
  const double start = ScriptedTouch::now();
  usb_storage_wait();
  EXPECT_LT(ScriptedTouch::now() - start, 1000);
  EXPECT_EQ(ql_entries().size(), 1u);
}

TEST_F(UsbDrive, QuitDuringTheWaitSavesAndEnds) {
  device_platform_for_tests(true);
  settings.light = 9;
  export_storage();
  // The program folder comes back with the quit, as a computer ejecting in time would leave it.
  touches_.at_wait([this] { mkdir(root_.host("us/ql").c_str(), 0755); });
  touches_.event(HOST_QUIT);
  EXPECT_EXIT(usb_storage_wait(), testing::ExitedWithCode(0), "");
  EXPECT_EQ(reload_settings().light, 9);
}

// Lookups keep a dictionary's files open; the storage they lie on leaves with the USB export, so
// they are closed, and a lookup after it reads the dictionary as it came back.
TEST_F(UsbDrive, KeptDictionaryFilesAreClosedForTheExport) {
  device_platform_for_tests(true);
  const std::string folder = docs() + "/dictionaries";
  std::filesystem::create_directories(folder);
  sdw::write_dictionary(folder + "/words", {{"lantern", "a light"}});
  ASSERT_EQ(ql_dict_lookup("lantern", "/tmp/ql-dict.txt"), 1);
  ASSERT_GT(files_open_under(folder), 0);
  export_storage();
  touches_.at_wait([&] {
    EXPECT_EQ(files_open_under(folder), 0);
    storage_back();
    std::filesystem::create_directories(folder);
    sdw::write_dictionary(folder + "/words", {{"lantern", "a lamp"}});
  });
  usb_storage_wait();
  EXPECT_EQ(ql_dict_lookup("lantern", "/tmp/ql-dict.txt"), 1);
  EXPECT_NE(read_file(root_.host("tmp/ql-dict.txt")).find("a lamp"), std::string::npos);
}
