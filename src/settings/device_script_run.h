// Running one device script verb and reading back the file it answers in. Every settings page over
// a script goes through here, so an answer left by an earlier run is never read, and a line the
// device did not run is told apart from one that ran and found nothing.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "display/device_scripts.h"

// Where a line's output goes, and how much of it comes back.
struct ScriptOutput {
  enum Kind {
    kAsBuilt,          // no redirection
    kDiscard,          // " >/dev/null 2>&1"
    kAnswer,           // " >FILE 2>/dev/null"
    kAnswerAndErrors,  // " >FILE 2>&1"
    kAppendLog,        // " >>FILE 2>&1": a log kept across runs, never removed
  };
  Kind kind = kAsBuilt;
  const char* file = nullptr;  // a device path, for the kinds that name one
  size_t lines = 0;            // how many lines of the file are read back (0: none)
};

struct ScriptReply {
  bool ran = false;                // false: nothing ran (the desktop's runner answers -1)
  std::vector<std::string> lines;  // the file's non-blank lines, each cut within 159 bytes
};

// Removes the output file (an appended log excepted), runs `line` with the output's redirection
// and reads back the lines asked for. The script's exit status is not told: only whether it ran.
ScriptReply script_run(ScriptLine line, const ScriptOutput& output);

// A line of script output as a screen shows it: control bytes (tabs, carriage returns) as blanks.
std::string script_text_shown(std::string_view text);
std::vector<std::string> script_lines_shown(const std::vector<std::string>& lines);
// The list screen over lines of script output, shown as above: the index tapped, none for back.
std::optional<size_t> script_list_menu(std::string_view title, const std::vector<std::string>& lines);

// The message for a command the device did not run, in place of any claim that it worked; it
// stays until a touch or kScriptMessageMs.
constexpr std::string_view kNotAvailable = "Not available on this device.";
void script_not_available();

// The outcome messages of the script pages stay this long unless touched.
constexpr int kScriptMessageMs = 2000;
void script_message(std::string_view text, int timeout_ms = kScriptMessageMs);
