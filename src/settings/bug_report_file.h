// A bug report as the queue keeps it: one JSON object on one line, all values strings, and the
// pieces it is made of (the escaped texts, the log excerpt with book names removed, the program's
// platform and machine).
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// What the user wrote, and the excerpt the review showed.
struct BugReport {
  std::string_view description;
  std::string_view steps;
  std::string_view contact;  // empty when no e-mail was given
  std::string_view log;
};

// The program the report comes from ("linux") and the machine it runs on (its hardware name,
// such as "x86_64"; "unknown" when the system does not say).
std::string_view bug_platform();
const std::string& bug_device();

// Appends `value` as the inside of a JSON string: TAB becomes a space, line feed "\n", backslash
// and double quote are escaped, carriage return and other control bytes are dropped, a byte that
// is not part of a valid UTF-8 character becomes "?". Before each character the bytes written for
// this value are compared with `cap`; past it the value ends there, never inside a character.
void bug_escape_append(std::string& out, std::string_view value, size_t cap);

// The report's document ("app_version", "platform", "device", "description", "steps", "log",
// "contact"), each value escaped and capped; none when it does not fit its 9500-byte buffer.
std::optional<std::string> bug_report_json(const BugReport& report);

// The excerpt of the program's log (empty when it cannot be read): up to 8 non-blank lines
// from its last 4000 bytes, oldest first, each ending in a line feed. A line naming a file in the
// documents folder (by its device path or by the data folder it is mapped to) keeps only its text
// before that path, followed by "[book]"; every line is cut to 110 bytes, never inside a UTF-8
// character.
std::string bug_log_excerpt();
