// Bluetooth headphones over the fake scripts: scanned, paired, connected, disconnected and
// forgotten; only a checked address ever reaches a command line.
#include "settings/bluetooth.h"

#include <gtest/gtest.h>

#include "app/ui/settings_file.h"
#include "device_pages_fixture.h"
#include "settings/device_services.h"

namespace {
using Bluetooth = DevicePagesTest;

constexpr char kScan[] = "sh /mnt/us/ql/bin/ql-bt.sh scan >/tmp/ql-bt.txt 2>/dev/null";
constexpr char kPaired[] = "sh /mnt/us/ql/bin/ql-bt.sh paired >/tmp/ql-bt.txt 2>/dev/null";

std::string allow_line(const std::string& a) {
  return "mkdir -p /mnt/us/ql/state; grep -qx '" + a + "' /mnt/us/ql/state/bt-allowed 2>/dev/null || echo '" +
         a + "' >>/mnt/us/ql/state/bt-allowed";
}

TEST(BluetoothAddress, OnlySixHexPairsJoinedByColons) {
  struct {
    std::string text;
    bool ok;
  } cases[] = {
      {"AA:BB:CC:DD:EE:FF", true},
      {"00:1a:7D:da:71:13", true},
      {"AA:BB:CC:DD:EE:F", false},
      {"AA:BB:CC:DD:EE:FF0", false},
      {"AA-BB-CC-DD-EE-FF", false},
      {"AA:BB:CC:DD:EE:GG", false},
      {"AA:BB:CC:DD:E':FF", false},
      {"AA:BB:CC:DD:EE:F;", false},
      {"AA:BB:CC:DD:EE:FF ", false},
      {"AAA:BB:CC:DD:EE:F", false},
      {std::string("AA:BB:CC:DD:EE:F\0", 17), false},
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(bt_is_address(c.text), c.ok);
    EXPECT_EQ(bt_allow_device(c.text).empty(), !c.ok);
  }
}

TEST(BluetoothAddress, ListLinesGiveTheAddressAndTheName) {
  struct {
    std::string line;
    bool ok;
    std::string address, name;
  } cases[] = {
      {"AA:BB:CC:DD:EE:FF\tSony WH\tclass 0x240404", true, "AA:BB:CC:DD:EE:FF", "Sony WH"},
      {"AA:BB:CC:DD:EE:FF\t$(reboot)`x`'", true, "AA:BB:CC:DD:EE:FF", "$(reboot)`x`'"},
      {"AA:BB:CC:DD:EE:FF", true, "AA:BB:CC:DD:EE:FF", "AA:BB:CC:DD:EE:FF"},
      {"AA:BB:CC:DD:EE:FF\t", true, "AA:BB:CC:DD:EE:FF", ""},
      {"AA:BB:CC:DD:EE:FF'; reboot; '\tEvil", false, "", ""},
      {"Speaker without address", false, "", ""},
      {"\tAA:BB:CC:DD:EE:FF", false, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::optional<BtDevice> d = bt_parse_line(c.line);
    ASSERT_EQ(d.has_value(), c.ok);
    if (!d) continue;
    EXPECT_EQ(d->address, c.address);
    EXPECT_EQ(d->name, c.name);
  }
}

TEST_F(Bluetooth, PairsAScannedDeviceAndRemembersItOnce) {
  scripts_.answer("ql-bt.sh scan",
                  "bad-address\tEvil\n"
                  "AA:BB:CC:DD:EE:0\tShort\n"
                  "AA:BB:CC:DD:EE:FF; reboot\tInjected\n"
                  "11:22:33:44:55:66\t$(reboot); `rm -rf /`'\n"
                  "AA:BB:CC:DD:EE:01\tSony WH\tclass\n");
  for (int round = 0; round < 2; ++round) {
    tap_row(0);  // Scan for headphones / speakers
    shot("nearby" + std::to_string(round));
    tap_row(0);  // the device whose name is hostile
    shot("actions");
    tap_row(0);  // Pair and connect
    shot("pair?");
    tap_confirm_action();
    shot("done");
    touches_.touch(500, 700);
  }
  tap_back();
  bt_menu();
  EXPECT_TRUE(ScriptedTouch::done());
  const std::string pair = "sh /mnt/us/ql/bin/ql-bt.sh pair '11:22:33:44:55:66' >/mnt/us/ql/bt-conn.txt 2>&1";
  const std::vector<std::string> once = {kScan, allow_line("11:22:33:44:55:66"), pair};
  std::vector<std::string> twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(scripts_.lines(), twice);
  EXPECT_STREQ(settings.bt, "11:22:33:44:55:66");
  EXPECT_NE(read_file(state("settings.txt")).find("11:22:33:44:55:66"), std::string::npos);
  EXPECT_EQ(read_file(state("bt-allowed")), "11:22:33:44:55:66\n");
  EXPECT_TRUE(shot_shows_toast("done", "Done. Open an audiobook to play."));
  // The malformed lines are not listed: two rows, the third slot empty.
  EXPECT_LT(shot_darkest("nearby0", 48, ScreenSteps::row_y(1) - 40, 500, 60), 100);
  EXPECT_EQ(shot_darkest("nearby0", 48, ScreenSteps::row_y(2) - 40, 500, 60), 255);
}

TEST_F(Bluetooth, ConnectsDisconnectsAndForgetsAPairedDevice) {
  scripts_.answer("ql-bt.sh paired", "AA:BB:CC:DD:EE:01\tSony WH\n00:11:22:33:44:55\tDesk speaker\n");
  tap_row(1);  // Paired headphones
  shot("paired");
  tap_row(1);
  tap_row(0);  // Connect
  tap_confirm_action();
  touches_.touch(500, 700);
  tap_row(1);
  tap_row(0);
  tap_row(1);  // Disconnect: at once
  tap_row(1);
  tap_row(0);
  tap_row(2);  // Forget: asks first
  tap_confirm_cancel();
  tap_row(1);
  tap_row(0);
  tap_row(2);
  shot("forget?");
  tap_confirm_action();
  tap_back();
  bt_menu();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(scripts_.lines(),
            (std::vector<std::string>{
                kPaired, allow_line("00:11:22:33:44:55"),
                "sh /mnt/us/ql/bin/ql-bt.sh connect '00:11:22:33:44:55' >/mnt/us/ql/bt-conn.txt 2>&1", kPaired,
                "sh /mnt/us/ql/bin/ql-bt.sh disconnect 'AA:BB:CC:DD:EE:01'", kPaired, kPaired,
                "sh /mnt/us/ql/bin/ql-bt.sh forget 'AA:BB:CC:DD:EE:01'"}));
  EXPECT_STREQ(settings.bt, "00:11:22:33:44:55");
}

TEST_F(Bluetooth, ReconnectAndOffTellTheirOutcome) {
  tap_row(2);
  shot("reconnect");
  touches_.touch(500, 700);
  tap_row(3);
  shot("off");
  touches_.touch(500, 700);
  tap_back();
  bt_menu();
  EXPECT_EQ(scripts_.lines(), (std::vector<std::string>{
                                  "sh /mnt/us/ql/bin/ql-bt.sh reconnect >/mnt/us/ql/bt-conn.txt 2>&1",
                                  "sh /mnt/us/ql/bin/ql-bt.sh off >/dev/null 2>&1"}));
  EXPECT_TRUE(shot_shows_toast("reconnect", "Reconnect requested (only headphones you picked before)"));
  EXPECT_TRUE(shot_shows_toast("off", "Bluetooth off"));
}

TEST_F(Bluetooth, NothingClaimsSuccessWhenTheLinesDidNotRun) {
  scripts_.status = -1;
  for (int row = 0; row < 4; ++row) {
    tap_row(row);
    shot("row" + std::to_string(row));
    touches_.touch(500, 700);
  }
  tap_back();
  bt_menu();
  EXPECT_TRUE(ScriptedTouch::done());
  for (int row = 0; row < 4; ++row) {
    SCOPED_TRACE(row);
    EXPECT_TRUE(shot_shows_toast("row" + std::to_string(row), "Not available on this device."));
  }
}

TEST_F(Bluetooth, APairingThatDidNotRunRemembersNothing) {
  scripts_.answer("ql-bt.sh scan", "AA:BB:CC:DD:EE:01\tSony WH\n");
  scripts_.fails("ql-bt.sh pair");
  tap_row(0);
  tap_row(0);
  tap_row(0);
  tap_confirm_action();
  shot("pair");
  touches_.touch(500, 700);
  tap_back();
  bt_menu();
  EXPECT_TRUE(shot_shows_toast("pair", "Not available on this device."));
  EXPECT_STREQ(settings.bt, "");
  EXPECT_FALSE(file_exists(state("settings.txt")));
}

TEST_F(Bluetooth, NoUsableDeviceIsToldAsNoneFound) {
  struct {
    const char* name;
    bool answered;
    std::string output;
  } cases[] = {
      {"no file", false, ""},
      {"empty file", true, ""},
      {"only malformed addresses", true, "AA:BB\tA\n" + std::string(400, ':') + "\n\xff\xfe\t\xc3\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeScripts scripts(root_);
    if (c.answered) scripts.answer("ql-bt.sh scan", c.output);
    tap_row(0);
    shot("none");
    touches_.touch(500, 700);
    tap_back();
    bt_menu();
    EXPECT_TRUE(ScriptedTouch::done());
    EXPECT_TRUE(shot_shows_toast("none", "No headphones/speakers found"));
    EXPECT_EQ(scripts.lines().back(), kScan);
  }
}
}  // namespace
