// Backup & restore over the fake scripts: a backup made after saving, backups listed, one restored
// with playback stopped first and the process ended without writing over the restored files.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/ui/settings_file.h"
#include "audio/audio_engine.h"
#include "device_pages_fixture.h"
#include "settings/device_services.h"
#include "support/audio_fixtures.h"

namespace {
using BackupPage = DevicePagesTest;

constexpr char kList[] = "sh /mnt/us/ql/bin/ql-backup.sh list >/tmp/ql-bk.txt 2>/dev/null";

TEST_F(BackupPage, BacksUpWhatIsInMemoryToo) {
  settings.font = 71;
  scripts_.on("ql-backup.sh create", [&](const std::vector<std::string>&) {
    scripts_.note(read_file(state("settings.txt")).find("71") != std::string::npos ? "settings saved first"
                                                                                 : "settings not saved");
  });
  tap_row(0);
  shot("saved");
  touches_.touch(500, 700);
  tap_back();
  backup_page();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(scripts_.lines(), (std::vector<std::string>{"sh /mnt/us/ql/bin/ql-backup.sh create >/tmp/ql-bk.txt 2>&1",
                                                        "settings saved first"}));
  EXPECT_TRUE(shot_shows_toast("saved", "Backup saved in documents/Backups"));
}

TEST_F(BackupPage, NothingClaimsABackupWhenTheLinesDidNotRun) {
  scripts_.status = -1;
  tap_row(0);
  shot("create");
  touches_.touch(500, 700);
  tap_row(1);
  shot("list");
  touches_.touch(500, 700);
  tap_back();
  backup_page();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_TRUE(shot_shows_toast("create", "Not available on this device."));
  EXPECT_TRUE(shot_shows_toast("list", "Not available on this device."));
}

TEST_F(BackupPage, NoBackupsYet) {
  scripts_.answer("ql-backup.sh list", "\n\n");
  tap_row(1);
  shot("none");
  touches_.touch(500, 700);
  tap_back();
  backup_page();
  EXPECT_TRUE(shot_shows_toast("none", "No backups yet"));
}

TEST_F(BackupPage, ARestoreThatDidNotRunKeepsTheProgramGoing) {
  scripts_.answer("ql-backup.sh list", "2026-12-01\n");
  scripts_.fails("ql-backup.sh restore");
  tap_row(1);
  tap_row(0);
  tap_confirm_action();
  shot("restore");
  touches_.touch(500, 700);
  tap_back();
  backup_page();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_TRUE(shot_shows_toast("restore", "Not available on this device."));
}

TEST_F(BackupPage, RestoreStopsPlaybackAndEndsWithoutWritingOverTheRestoredFiles) {
  const std::string part = "/mnt/us/documents/talk.wav";
  mkdir(root_.host("us/documents").c_str(), 0755);
  ASSERT_TRUE(make_test_audio(root_.host("us/documents/talk.wav"), 2.0, 8000, 1, "-c:a pcm_s16le"));
  const std::string name = "2026-12-01 'evening' $(reboot)";
  scripts_.answer("ql-backup.sh list", "2026-11-30\n" + name + "\n");
  const std::string position = state(audio_position_path(part).substr(std::string("/mnt/us/ql/state/").size()));
  scripts_.on("ql-backup.sh restore", [&](const std::vector<std::string>& args) {
    scripts_.note("restoring " + args.at(0) + (ql_audio_alive() ? " while playing" : " after playback stopped"));
    for (const char* file : {"settings.txt", "ui.txt", "library.tsv"}) write_file(state(file), "restored\n");
    write_file(position, "restored\n");
  });
  settings.font = 71;  // in memory only, as a book read since the backup
  tap_row(1);
  shot("backups");
  tap_row(1);
  shot("restore?");
  tap_confirm_action();
  setenv("AUDIO_NULL", "1", 1);
  EXPECT_EXIT(
      {
        // Paused playback keeps the engine running until it is told to stop.
        if (ql_audio_start(part.c_str(), 100, 0, 0, 0) != 1) exit(2);
        while (!file_exists(state("audio.status"))) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ql_audio_cmd("pause");
        scripts_.note(ql_audio_alive() ? "playing" : "not playing");
        backup_page();
      },
      testing::ExitedWithCode(0), "");
  unsetenv("AUDIO_NULL");
  EXPECT_EQ(scripts_.lines(),
            (std::vector<std::string>{
                "playing", kList,
                "sh /mnt/us/ql/bin/ql-backup.sh restore '2026-12-01 '\\''evening'\\'' $(reboot)' >/tmp/ql-bk.txt 2>&1",
                "restoring " + name + " after playback stopped"}));
  for (const char* file : {"settings.txt", "ui.txt", "library.tsv"}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(read_file(state(file)), "restored\n");
  }
  EXPECT_EQ(read_file(position), "restored\n");
}
}  // namespace
