#include "display/device_scripts.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

#include "base/shell_quote.h"
#include "display/device_facts.h"
#include "host/services.h"

namespace {
// Records every line handed to the host's runner (nothing is run) and answers 0.
class RecordedRunner {
 public:
  RecordedRunner() {
    plat_set_runner([this](const char* cmd, int secs) {
      lines.emplace_back(cmd, secs);
      return 0;
    });
  }
  ~RecordedRunner() { plat_set_runner(nullptr); }
  std::vector<std::pair<std::string, int>> lines;
};
}  // namespace

TEST(DeviceScripts, ExactCommandLines) {
  RecordedRunner runner;
  ScriptLine(kScriptStore, "get").arg("https://shop.example/b?id=1&t='x'", 1993)
      .raw(" >/tmp/ql-dl.path 2>/dev/null").run();
  ScriptLine(kScriptStore, "watch").arg("ord-17", 121).arg("view'key", 293).arg("-", 121)
      .raw(" >/dev/null 2>&1 &").run();
  ScriptLine(kScriptStore, "covers").raw(" 1f3a").arg("https://shop.example/c/1.jpg", 593)
      .raw(" >/dev/null 2>&1 &").run();
  ScriptLine(kScriptWifi, "join").arg("Caf\xc3\xa9 'Net'", 634).arg("pa$$ word", 394)
      .raw(" >/mnt/us/ql/wifi-join.log 2>&1").run();
  ScriptLine(kScriptMorning, "fetch").arg("http://feed.example/e.epub", 1993)
      .arg("/mnt/us/documents/Daily_news.epub", 1993).raw(" >/dev/null 2>&1").run();
  ScriptLine(kScriptBt, "off").raw(" >/dev/null 2>&1").run();
  ScriptLine(kScriptInfo).raw(" >/tmp/ql-info.txt 2>/dev/null").run();
  ScriptLine(kScriptRevert).raw(" >/mnt/us/ql/revert.log 2>&1; sync; reboot").run();
  ql_system_t(kScreensaverLine, kScreensaverSecs);
  ql_system(kPowerOffLine);

  const std::vector<std::pair<std::string, int>> expected = {
      {"sh /mnt/us/ql/bin/ql-store.sh get 'https://shop.example/b?id=1&t='\\''x'\\''' >/tmp/ql-dl.path 2>/dev/null", 900},
      {"sh /mnt/us/ql/bin/ql-store.sh watch 'ord-17' 'view'\\''key' '-' >/dev/null 2>&1 &", 900},
      {"sh /mnt/us/ql/bin/ql-store.sh covers 1f3a 'https://shop.example/c/1.jpg' >/dev/null 2>&1 &", 900},
      {"sh /mnt/us/ql/bin/ql-wifi.sh join 'Caf\xc3\xa9 '\\''Net'\\''' 'pa$$ word' >/mnt/us/ql/wifi-join.log 2>&1", 900},
      {"sh /mnt/us/ql/bin/ql-morning.sh fetch 'http://feed.example/e.epub' '/mnt/us/documents/Daily_news.epub' >/dev/null 2>&1", 900},
      {"sh /mnt/us/ql/bin/ql-bt.sh off >/dev/null 2>&1", 900},
      {"sh /mnt/us/ql/bin/ql-info.sh >/tmp/ql-info.txt 2>/dev/null", 900},
      {"sh /mnt/us/ql/bin/ql-revert.sh >/mnt/us/ql/revert.log 2>&1; sync; reboot", 900},
      {"lipc-set-prop -i com.lab126.powerd preventScreenSaver 1 >/dev/null 2>&1", 6},
      {"sync; poweroff", 900},
  };
  ASSERT_EQ(runner.lines.size(), expected.size());
  for (size_t i = 0; i < expected.size(); i++) {
    SCOPED_TRACE(i);
    EXPECT_EQ(runner.lines[i], expected[i]);
  }
}

TEST(DeviceScripts, ArgumentsAreCutBeforeQuotingAndNeverMidEscape) {
  RecordedRunner runner;
  // The order id's quote would straddle the 121-byte limit; the view key's letter would too.
  const std::string order = std::string(118, 'o') + "'rest";
  const std::string view = std::string(291, 'v') + "\xc3\xa4" + "tail";
  ScriptLine(kScriptStore, "order").arg(order, 121).arg(view, 293).raw(" >/dev/null 2>&1").run();
  ASSERT_EQ(runner.lines.size(), 1u);
  EXPECT_EQ(runner.lines[0].first, "sh /mnt/us/ql/bin/ql-store.sh order '" + std::string(118, 'o') + "' '" +
                                       std::string(291, 'v') + "' >/dev/null 2>&1");
}

TEST(DeviceScripts, BackupNameQuotedWithTheToolkitsQuoting) {
  RecordedRunner runner;
  char quoted[300];
  const std::string name = "notes 'old'";
  std::string_view q = shell_quote(quoted, sizeof quoted, name.data(), name.size());
  ScriptLine(kScriptBackup, "restore").raw(" ").raw(q).raw(" >/tmp/ql-bk.txt 2>&1").run();
  ASSERT_EQ(runner.lines.size(), 1u);
  EXPECT_EQ(runner.lines[0].first, "sh /mnt/us/ql/bin/ql-backup.sh restore 'notes '\\''old'\\''' >/tmp/ql-bk.txt 2>&1");
}

TEST(DeviceScripts, DesktopRunnerAnswersMinusOne) {
  EXPECT_EQ(ScriptLine(kScriptWifi, "ssids").raw(" >/tmp/ql-ssids.txt 2>/dev/null").run(), -1);
  EXPECT_EQ(ql_system(kRebootLine), -1);  // refused, never run
}

TEST(DeviceScripts, VerbTable) {
  struct { std::string_view script, verb; bool known; } cases[] = {
      {kScriptStore, "catalog", true},  {kScriptStore, "download", true}, {kScriptStore, "cat", false},
      {kScriptStore, "", false},        {kScriptMorning, "sync", true},   {kScriptWifi, "brief", true},
      {kScriptWifi, "scan", false},     {kScriptBt, "disconnect", true},  {kScriptBt, "connect", true},
      {kScriptBackup, "restore", true}, {kScriptXfer, "stop", true},      {kScriptInfo, "", true},
      {kScriptInfo, "all", false},      {kScriptRevert, "", true},        {"ql-other.sh", "", false},
      {kScriptBt, "off ", false},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(std::string(c.script) + " " + std::string(c.verb));
    EXPECT_EQ(script_has_verb(c.script, c.verb), c.known);
  }
}
