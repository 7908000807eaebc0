// Command lines for the device scripts in /mnt/us/ql/bin/ (store, Wi-Fi, Bluetooth, backup,
// transfer, device information, restoring the stock system) and the few other lines the program
// hands to the shell runner. Results come back only in the files a line redirects to or its verb
// names; no caller relies on the exit status (the desktop runs nothing and answers -1).
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "display/device_facts.h"

constexpr std::string_view kScriptDir = "/mnt/us/ql/bin/";
constexpr std::string_view kScriptStore = "ql-store.sh";
constexpr std::string_view kScriptMorning = "ql-morning.sh";
constexpr std::string_view kScriptWifi = "ql-wifi.sh";
constexpr std::string_view kScriptBt = "ql-bt.sh";
constexpr std::string_view kScriptBackup = "ql-backup.sh";
constexpr std::string_view kScriptXfer = "ql-xfer.sh";
constexpr std::string_view kScriptInfo = "ql-info.sh";
constexpr std::string_view kScriptRevert = "ql-revert.sh";

// Lines that are not scripts. Only the screensaver line has a time-out of its own.
constexpr const char* kScreensaverLine = "lipc-set-prop -i com.lab126.powerd preventScreenSaver 1 >/dev/null 2>&1";
constexpr int kScreensaverSecs = 6;
constexpr const char* kRebootLine = "sync; reboot";
constexpr const char* kPowerOffLine = "sync; poweroff";

// True when `verb` is one the script answers ("" for the scripts that take none).
bool script_has_verb(std::string_view script, std::string_view verb);

// One command line: "sh /mnt/us/ql/bin/<script>[ <verb>]", then quoted arguments, then the tail
// (redirections, " &" for a background job, "; sync; reboot").
class ScriptLine {
 public:
  ScriptLine(std::string_view script, std::string_view verb = {});

  // Appends " '<text>'": quotes inside written '\'', the quoted text kept within `quoted_limit`
  // bytes by dropping whole characters from the end of the text.
  ScriptLine& arg(std::string_view text, size_t quoted_limit);
  // Appends text as it is: an unquoted word the program made itself, or the tail.
  ScriptLine& raw(std::string_view text);

  const std::string& text() const { return line_; }
  // Hands the line to the shell runner; the runner's answer.
  int run(int secs = kQlSystemSecs) const;

 private:
  std::string line_;
};
