// Quick settings driven by taps: the rows each platform lists, dark mode in ui.txt, and the
// device rows' command lines, which never report success when nothing ran.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ui/ui_frame.h"
#include "library/document_scan.h"
#include "settings/frontlight_panel.h"
#include "settings/quick_settings.h"
#include "settings/device_script_run.h"
#include "device_settings_fixture.h"

namespace {
constexpr char kBtOff[] = "sh /mnt/us/ql/bin/ql-bt.sh off >/dev/null 2>&1";
constexpr char kSync[] = "sh /mnt/us/ql/bin/ql-morning.sh sync >/dev/null 2>&1";

// The device's rows, in the order it lists them (seven to a page).
enum DeviceRow { kWifi, kAirplane, kBluetooth, kSync_, kFrontlight, kDark, kRefresh, kSave, kAll };

class QuickSettings : public DeviceSettingsTest {
 protected:
};
}  // namespace

TEST_F(QuickSettings, DesktopListsDarkModeAndAllSettings) {
  shot("desktop");
  tap_row(0);
  touches_.at_wait([this] {
    EXPECT_TRUE(app.present.inverted);
    const LoadedUi saved = reload_ui();
    EXPECT_EQ(saved.ui.appearance, 2);
    EXPECT_TRUE(saved.night);
  });
  tap_row(0);
  tap_back();
  quick_settings_panel();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_TRUE(shot_has_row("desktop", 0));
  EXPECT_TRUE(shot_has_row("desktop", 1));
  EXPECT_FALSE(shot_has_row("desktop", 2));
  const LoadedUi saved = reload_ui();
  EXPECT_EQ(saved.ui.appearance, 1);
  EXPECT_FALSE(saved.night);
  EXPECT_TRUE(scripts_.lines().empty());
}

TEST_F(QuickSettings, BackSavesNothing) {
  tap_back();
  quick_settings_panel();
  EXPECT_FALSE(file_exists(root_.state("settings.txt")));
  EXPECT_FALSE(file_exists(root_.state("ui.txt")));
}

TEST_F(QuickSettings, DeviceListsNineRowsOverTwoPages) {
  device_platform_for_tests(true);
  shot("first");
  tap_next_page();
  shot("second");
  tap_back();
  quick_settings_panel();
  for (int slot = 0; slot < 7; ++slot) EXPECT_TRUE(shot_has_row("first", slot)) << slot;
  EXPECT_TRUE(shot_has_row("second", 0));
  EXPECT_TRUE(shot_has_row("second", 1));
  EXPECT_FALSE(shot_has_row("second", 2));
}

TEST_F(QuickSettings, AirplaneModeClaimsNothingWhenTheCommandDidNotRun) {
  device_platform_for_tests(true);
  scripts_.status = -1;
  app.wifi_state = 1;
  tap_device_row(kAirplane);
  shot("not-run");
  dismiss_message();
  touches_.at_wait([this] { scripts_.status = 0; });
  tap_device_row(kAirplane);
  tap_back();
  quick_settings_panel();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(scripts_.lines(), (std::vector<std::string>{kBtOff, kBtOff}));
  EXPECT_TRUE(shot_shows_toast("not-run", kNotAvailable));
  EXPECT_FALSE(shot_shows_toast("not-run", "Airplane mode on"));
}

TEST_F(QuickSettings, AirplaneModeLeavesTheWifiStateToBeReadAgain) {
  device_platform_for_tests(true);
  scripts_.status = 0;
  app.wifi_state = 1;
  tap_device_row(kAirplane);
  touches_.at_wait([] { EXPECT_EQ(app.wifi_state, 0); });  // read again for the Wi-Fi row
  tap_back();
  quick_settings_panel();
  EXPECT_TRUE(ScriptedTouch::done());
}

TEST_F(QuickSettings, MorningSyncRescansOnlyAfterTheScriptRan) {
  device_platform_for_tests(true);
  scripts_.status = -1;
  write_file(docs() + "/2024-05-10 Morning Paper.epub", "not really a book");
  const size_t before = ql_entries().size();
  tap_device_row(kSync_);
  shot("not-run");
  dismiss_message();
  touches_.at_wait([this, before] {
    EXPECT_EQ(ql_entries().size(), before);
    scripts_.status = 0;
  });
  tap_device_row(kSync_);
  tap_back();
  quick_settings_panel();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(scripts_.lines(), (std::vector<std::string>{kSync, kSync}));
  EXPECT_TRUE(shot_shows_toast("not-run", kNotAvailable));
  EXPECT_EQ(ql_entries().size(), 1u);
  EXPECT_EQ(app.wifi_state, 0);
}

TEST_F(QuickSettings, ClosingRowsEndThePanel) {
  device_platform_for_tests(true);
  settings.light = 5;
  ui_state.cover = false;
  app.present.clean = true;
  tap_device_row(kRefresh);
  quick_settings_panel();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_FALSE(app.present.clean);
  EXPECT_FALSE(file_exists(root_.state("settings.txt")));

  app.present.clean = true;
  tap_device_row(kSave);
  quick_settings_panel();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_FALSE(app.present.clean);
  EXPECT_EQ(reload_settings().light, 5);
  EXPECT_FALSE(reload_ui().ui.cover);
  EXPECT_TRUE(file_exists(root_.state("library.tsv")));
  EXPECT_TRUE(scripts_.lines().empty());
}

TEST_F(QuickSettings, FrontlightRowOpensTheFullScreenPanel) {
  device_platform_for_tests(true);
  const FrontlightGeometry g = frontlight_geometry(true, W());
  tap_device_row(kFrontlight);
  shot("panel");
  touches_.touch(W() - 72, g.slider_top + 20);      // +
  touches_.touch(W() - 100, g.dark_line_top + 40);  // Done
  tap_back();
  quick_settings_panel();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(reload_settings().light, 13);
  EXPECT_EQ(levels_, std::vector<int>{13});
  EXPECT_EQ(shot_darkest("panel", g.slider_x, g.slider_top, 2, 40), 0);  // the slider's frame
}

TEST_F(QuickSettings, BluetoothAndWifiRowsOnTheDevice) {
  device_platform_for_tests(true);
  app.wifi_state = 0;
  tap_row(kWifi);
  shot("after-wifi");
  tap_device_row(kBluetooth);
  shot("bluetooth");  // its own page, with four rows
  tap_back();
  tap_back();
  quick_settings_panel();
  EXPECT_TRUE(ScriptedTouch::done());
  // The Wi-Fi state is read again after the switch (this radio always reads off).
  EXPECT_TRUE(shot_has_row("after-wifi", kWifi));
  EXPECT_EQ(app.wifi_state, 0);
  EXPECT_TRUE(shot_has_row("bluetooth", 3));
  EXPECT_FALSE(shot_has_row("bluetooth", 4));
  EXPECT_TRUE(scripts_.lines().empty());
}
