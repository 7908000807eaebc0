// The test driver: a thread that follows a script file (named by CVNL_TEST) and turns its lines
// into input events, dropped books, screenshots, appearance changes and quit. The script may grow
// while the program runs; the driver never stops.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

constexpr size_t kScriptLineMax = 1199;
constexpr size_t kScriptPathMax = 1023;
// How long "idle" waits for the core to take every event at most: only a core that never waits
// again ends it, so that a script on a busy machine goes on no earlier than on an idle one.
constexpr int kIdleLimitMs = 120000;

// Starts the driver thread on the script at `path` (waiting for the file to appear).
void test_driver_start(const std::string& path);

// Carries out one script line (without its line feed); unknown lines are ignored.
void test_driver_line(std::string_view line);

// Cuts a growing byte stream into complete lines: a line is given out only once its line feed has
// arrived, without the line feed and a carriage return before it. Lines longer than
// kScriptLineMax bytes are dropped whole.
class ScriptLines {
 public:
  void feed(const char* data, size_t n);
  std::optional<std::string> next();

 private:
  std::string pending_;
  size_t start_ = 0;
  bool overlong_ = false;  // discarding up to the next line feed
};
