// The Wi-Fi page driven by scripted taps over the fake scripts: networks listed and joined with a
// typed password, saved networks forgotten, the status shown, and every failure told as it is.
#include <gtest/gtest.h>

#include "app/ui/app_state.h"
#include "device_pages_fixture.h"
#include "settings/device_services.h"

namespace {
class WifiPage : public DevicePagesTest {
 protected:
  // "Scan and join a network", the network in `row` of the scan, the password typed, and the
  // message that follows dismissed.
  void join_from_scan(int row, const std::string& password) {
    tap_row(1);
    tap_row(row);
    type(password);
    touches_.touch(500, 700);
  }
};

constexpr char kSsids[] = "sh /mnt/us/ql/bin/ql-wifi.sh ssids >/tmp/ql-ssids.txt 2>/dev/null";
constexpr char kKnown[] = "sh /mnt/us/ql/bin/ql-wifi.sh known >/tmp/ql-known.txt 2>/dev/null";
constexpr char kBrief[] = "sh /mnt/us/ql/bin/ql-wifi.sh brief >/tmp/ql-wst.txt 2>/dev/null";

TEST_F(WifiPage, JoinsAChosenNetworkWithTheTypedPassword) {
  const std::string hostile = "Caf\xc3\xa9 'Net' $(reboot)";
  scripts_.answer("ql-wifi.sh ssids", "Home\n" + hostile + "\n");
  std::vector<std::string> joined_with;
  scripts_.on("ql-wifi.sh join", [&](const std::vector<std::string>& args) { joined_with = args; });
  shot("page");
  tap_row(1);  // Scan and join a network
  shot("networks");
  tap_row(1);
  shot("password");
  type("se7ret");
  shot("joined");
  touches_.touch(500, 700);  // dismisses the message
  tap_back();
  wifi_page();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(scripts_.lines(),
            (std::vector<std::string>{
                kSsids, "sh /mnt/us/ql/bin/ql-wifi.sh join 'Caf\xc3\xa9 '\\''Net'\\'' $(reboot)' 'se7ret' "
                        ">/mnt/us/ql/wifi-join.log 2>&1"}));
  // The shell would hand the script exactly the name and the password.
  EXPECT_EQ(joined_with, (std::vector<std::string>{hostile, "se7ret"}));
  EXPECT_TRUE(shot_shows_toast("joined", "Join requested; see Status"));
  // Both networks are listed, and nothing below them.
  EXPECT_LT(shot_darkest("networks", 48, ScreenSteps::row_y(1) - 40, 500, 60), 100);
  EXPECT_EQ(shot_darkest("networks", 48, ScreenSteps::row_y(2) - 40, 500, 60), 255);
}

TEST_F(WifiPage, AnEmptyPasswordIsPassedAsAnEmptyWord) {
  scripts_.answer("ql-wifi.sh ssids", "Home\n");
  join_from_scan(0, "");
  tap_back();
  wifi_page();
  ASSERT_EQ(scripts_.lines().size(), 2u);
  EXPECT_EQ(scripts_.lines()[1], "sh /mnt/us/ql/bin/ql-wifi.sh join 'Home' '' >/mnt/us/ql/wifi-join.log 2>&1");
}

TEST_F(WifiPage, ForgetsASavedNetworkOnlyWhenConfirmed) {
  scripts_.answer("ql-wifi.sh known", "Home\nWork; rm -rf ~\n");
  write_file(root_.host("us/ql/wifi-join.log"), "joined Home\n");
  tap_row(2);  // Known networks / forget
  tap_row(0);
  tap_confirm_cancel();
  tap_row(2);
  shot("known");
  tap_row(1);
  shot("forget?");
  tap_confirm_action();
  tap_back();
  wifi_page();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(scripts_.lines(),
            (std::vector<std::string>{kKnown, kKnown,
                                      "sh /mnt/us/ql/bin/ql-wifi.sh forget 'Work; rm -rf ~' "
                                      ">>/mnt/us/ql/wifi-join.log 2>&1"}));
  EXPECT_EQ(read_file(root_.host("us/ql/wifi-join.log")), "joined Home\n");
}

TEST_F(WifiPage, StatusShowsTheScriptsLinesAndTheToggleReadsTheStateAfresh) {
  scripts_.answer("ql-wifi.sh brief", "wlan0\tconnected\nssid: Home\n\xff\xfe broken\n" + std::string(3000, 'x') + "\n");
  app.wifi_state = 1;
  shot("on");
  tap_row(0);  // toggles: the state is read again for the next pass
  shot("off");
  tap_row(3);
  shot("status");
  touches_.touch(500, 700);  // closes the status page
  tap_back();
  wifi_page();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(scripts_.lines(), (std::vector<std::string>{kBrief}));
  EXPECT_EQ(app.wifi_state, 0);  // this machine's radio reads as off
  // The status lines are drawn below the header.
  EXPECT_LT(shot_darkest("status", 48, 260, 600, 200), 100);
}

TEST_F(WifiPage, EmptyAnswersAndLinesThatDidNotRunAreToldAsTheyAre) {
  struct {
    const char* name;
    int status;
    const char* scan_message;
    const char* known_message;
  } cases[] = {
      {"nothing found", 0, "No networks found", "No saved networks"},
      {"the desktop runs nothing", -1, "Not available on this device.", "Not available on this device."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(root_.host("tmp/ql-ssids.txt"), "Stale\n");  // an earlier answer
    FakeScripts scripts(root_);
    scripts.status = c.status;
    tap_row(1);
    shot("scan");
    touches_.touch(500, 700);
    tap_row(2);
    shot("known");
    touches_.touch(500, 700);
    tap_row(3);
    shot("status");
    touches_.touch(500, 700);
    tap_back();
    wifi_page();
    EXPECT_TRUE(ScriptedTouch::done());
    EXPECT_TRUE(shot_shows_toast("scan", c.scan_message));
    EXPECT_TRUE(shot_shows_toast("known", c.known_message));
    if (c.status == -1) {
      EXPECT_TRUE(shot_shows_toast("status", "Not available on this device."));
    }
  }
}

TEST_F(WifiPage, AJoinThatDidNotRunIsNeverReportedAsRequested) {
  scripts_.answer("ql-wifi.sh ssids", "Home\n");
  scripts_.fails("ql-wifi.sh join");
  tap_row(1);
  tap_row(0);
  type("pw");
  shot("joined");
  touches_.touch(500, 700);
  tap_back();
  wifi_page();
  EXPECT_TRUE(shot_shows_toast("joined", "Not available on this device."));
  EXPECT_FALSE(shot_shows_toast("joined", "Join requested; see Status"));
}

TEST_F(WifiPage, ALongNetworkNameGoesToTheScriptAsItsFirstPieceOnly) {
  const std::string name = std::string(158, 'n') + "\xc3\xa9" + std::string(400, 'z');
  scripts_.answer("ql-wifi.sh ssids", name + "\nsecond\n");
  std::vector<std::vector<std::string>> joins;
  scripts_.on("ql-wifi.sh join", [&](const std::vector<std::string>& args) { joins.push_back(args); });
  shot("long");
  join_from_scan(1, "");  // the rest of the long line is no network of its own
  join_from_scan(0, "");
  tap_back();
  wifi_page();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(joins, (std::vector<std::vector<std::string>>{{"second", ""}, {std::string(158, 'n'), ""}}));
}
}  // namespace
