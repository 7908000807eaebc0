// Device options driven by taps: the rows each platform lists, every choice written to ui.txt and
// tz.txt and read back unchanged, the exact command lines, and no command that did not run passing
// for one that did.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "app/ui/time_zones.h"
#include "settings/device_options.h"
#include "settings/device_script_run.h"
#include "device_settings_fixture.h"

namespace {

// The device's rows, in the order it lists them (seven to a page).
enum DeviceRow {
  kInfo,
  kStorage,
  kZone,
  kSleepAfter,
  kSleepScreen,
  kUsb,
  kRestart,
  kShutDown,
  kStock
};

class DeviceOptions : public DeviceSettingsTest {
 protected:
  // Where the right-hand value of a row begins in a shot.
  int value_left(const std::string& shot_name, int slot) const {
    return ink_columns(shot_name, W() / 2, ScreenSteps::row_y(slot) - 30, W() / 2 - 60, 50).first;
  }
  int expected_value_left(const char* value) const {
    const std::string right = std::string(value) + "  \xE2\x80\xBA";
    return W() - 48 - int(ql_measure(right.c_str(), TS_UI_BOLD, 42));
  }
};
}  // namespace

TEST_F(DeviceOptions, DesktopListsTheSleepScreenRowOnly) {
  shot("desktop");
  tap_row(0);
  touches_.at_wait([this] {
    EXPECT_FALSE(ui_state.cover);
    EXPECT_FALSE(reload_ui().ui.cover);
  });
  shot("clock");
  tap_row(0);
  tap_back();
  device_options_menu();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_TRUE(shot_has_row("desktop", 0));
  EXPECT_FALSE(shot_has_row("desktop", 1));
  EXPECT_NEAR(value_left("desktop", 0), expected_value_left("Book cover"), 3);
  EXPECT_NEAR(value_left("clock", 0), expected_value_left("Clock"), 3);
  EXPECT_TRUE(reload_ui().ui.cover);
  EXPECT_TRUE(scripts_.lines().empty());
}

TEST_F(DeviceOptions, EveryTimeZoneGoesToUiAndTzFiles) {
  device_platform_for_tests(true);
  for (size_t zone : {6u, 2u, 0u, 5u, 1u, 4u, 3u}) {
    tap_device_row(kZone);
    tap_row(int(zone));
    touches_.at_wait([this, zone] {
      SCOPED_TRACE(time_zones[zone].label);
      EXPECT_EQ(ui_state.tz, zone);
      EXPECT_EQ(reload_ui().ui.tz, zone);
      EXPECT_EQ(tz_file(), time_zones[zone].posix_tz);
    });
  }
  tap_device_row(kZone);
  tap_back();  // leaving the chooser changes nothing
  tap_back();
  device_options_menu();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(reload_ui().ui.tz, 3);
}

TEST_F(DeviceOptions, SleepChoicesLoadBackAndNeverReadsAsZeroMinutes) {
  device_platform_for_tests(true);
  struct Case {
    int slot;
    int32_t minutes;
    const char* shown;
  } cases[] = {{5, 0, "0 min"},   {0, 5, "5 min"},   {3, 30, "30 min"},
               {4, 60, "60 min"}, {2, 15, "15 min"}, {1, 10, "10 min"}};
  for (const Case& c : cases) {
    tap_device_row(kSleepAfter);
    tap_row(c.slot);
    touches_.at_wait([this, c] {
      SCOPED_TRACE(c.shown);
      EXPECT_EQ(ui_state.sleep, c.minutes);
      EXPECT_EQ(reload_ui().ui.sleep, c.minutes);
    });
    shot(c.shown);
  }
  tap_back();
  device_options_menu();
  EXPECT_TRUE(ScriptedTouch::done());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    EXPECT_NEAR(value_left(c.shown, kSleepAfter), expected_value_left(c.shown), 3);
  }
}

TEST_F(DeviceOptions, PowerCommandsSaveFirstAndNeverPassForDoneWhenNothingRan) {
  device_platform_for_tests(true);
  struct Case {
    int row;
    const char* command;
  } cases[] = {
      {kRestart, "sync; reboot"},
      {kShutDown, "sync; poweroff"},
      {kStock, "sh /mnt/us/ql/bin/ql-revert.sh >/mnt/us/ql/revert.log 2>&1; sync; reboot"},
  };
  scripts_.status = -1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const size_t earlier = scripts_.lines().size();
    remove(root_.state("settings.txt").c_str());
    settings.light = 7;
    tap_device_row(c.row);
    tap_confirm_cancel();
    tap_device_row(c.row);
    tap_confirm_action();
    shot("not-run");
    dismiss_message();
    tap_back();
    device_options_menu();
    EXPECT_TRUE(ScriptedTouch::done());
    const std::vector<std::string> lines = scripts_.lines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + long(earlier), lines.end()),
              std::vector<std::string>{c.command});
    EXPECT_TRUE(shot_shows_toast("not-run", kNotAvailable));
    EXPECT_EQ(reload_settings().light, 7);  // saved before the command
    EXPECT_TRUE(file_exists(root_.state("library.tsv")));
  }
}

TEST_F(DeviceOptions, DeviceInfoShowsOnlyWhatThisRunOfTheScriptWrote) {
  device_platform_for_tests(true);
  const std::string info = root_.host("tmp/ql-info.txt");
  constexpr char kLine[] = "sh /mnt/us/ql/bin/ql-info.sh >/tmp/ql-info.txt 2>/dev/null";
  write_file(info, "Serial: STALE\n");
  scripts_.status = -1;
  scripts_.answer("ql-info.sh", "Model: test reader\n\nSerial: 1234\n");
  tap_device_row(kInfo);
  shot("not-run");
  dismiss_message();
  touches_.at_wait([this, info] {
    EXPECT_FALSE(file_exists(info));  // the stale answer went before the line, and nothing ran
    scripts_.status = 0;
  });
  tap_device_row(kInfo);
  shot("info");
  touches_.touch(500, 1000);  // closes the page
  tap_back();
  device_options_menu();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(scripts_.lines(), (std::vector<std::string>{kLine, kLine}));
  EXPECT_TRUE(shot_shows_toast("not-run", kNotAvailable));
  // Two lines (the blank one skipped), nothing under them.
  EXPECT_LT(shot_darkest("info", 48, 298 - 35, 400, 40), 100);
  EXPECT_LT(shot_darkest("info", 48, 298 + 72 - 35, 400, 40), 100);
  EXPECT_EQ(shot_darkest("info", 48, 298 + 144 - 35, 400, 40), 255);
}

TEST_F(DeviceOptions, StorageAndUsbHelpPages) {
  device_platform_for_tests(true);
  tap_device_row(kStorage);
  shot("storage");
  touches_.touch(500, 1000);
  tap_device_row(kUsb);
  shot("usb-help");
  touches_.touch(500, 1000);
  tap_back();
  device_options_menu();
  EXPECT_TRUE(ScriptedTouch::done());
  // Three lines of storage figures; four paragraphs of USB help.
  for (int line = 0; line < 3; ++line)
    EXPECT_LT(shot_darkest("storage", 48, 263 + 72 * line, 300, 40), 100);
  EXPECT_EQ(shot_darkest("storage", 48, 263 + 72 * 3, 300, 40), 255);
  EXPECT_LT(shot_darkest("usb-help", 48, 263, 300, 40), 100);
  EXPECT_TRUE(scripts_.lines().empty());
}
