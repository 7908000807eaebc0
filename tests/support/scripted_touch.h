// Touches for in-process screen tests: a script of host events at fake times replaces the host's
// queue and clock, so waits, holds and time-outs run without sleeping. A screen that waits past the
// end of the script throws ScriptEnded, which a test expects when the screen must stay up.
#pragma once
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>

#include "display/touch.h"
#include "host/plat.h"

struct ScriptEnded : std::runtime_error {
  ScriptEnded() : std::runtime_error("the screen waited past the end of the touch script") {}
};

class ScriptedTouch {
 public:
  ScriptedTouch() {
    script().clear();
    now() = 1000;
    ql_touch_set_source(&source());
    ql_touch_timeout(0);
    ql_touch_early(0, 0, 0);
  }
  ~ScriptedTouch() {
    ql_touch_early(0, 0, 0);
    ql_touch_timeout(0);
    ql_touch_set_source(nullptr);
    script().clear();
  }
  ScriptedTouch(const ScriptedTouch&) = delete;
  ScriptedTouch& operator=(const ScriptedTouch&) = delete;

  // A host event `after_ms` after the previous one (or after now, for the first).
  void event(uint32_t type, int x = 0, int y = 0, double after_ms = 10) {
    const double at = (script().empty() ? now() : script().back().at) + after_ms;
    script().push_back({at, type, x, y, {}});
  }
  // Runs `hook` when the screen next waits for input, with its frame drawn and presented (a test
  // looks at the screen there).
  void at_wait(std::function<void()> hook) {
    const double at = script().empty() ? now() : script().back().at;
    script().push_back({at, 0, 0, 0, std::move(hook)});
  }
  // Pointer down and, `held_ms` later, up at (x2, y2), which default to the same point.
  void touch(int x, int y, double held_ms = 40, int x2 = -1, int y2 = -1) {
    event(HOST_POINTER_DOWN, x, y);
    event(HOST_POINTER_UP, x2 < 0 ? x : x2, y2 < 0 ? y : y2, held_ms);
  }
  static double& now() {
    static double t = 0;
    return t;
  }
  static bool done() { return script().empty(); }

 private:
  struct Timed {
    double at;
    uint32_t type;
    int x, y;
    std::function<void()> hook;  // set for at_wait steps
  };
  static std::deque<Timed>& script() {
    static std::deque<Timed> s;
    return s;
  }
  static int next(int timeout_ms, int* x, int* y) {
    auto& s = script();
    while (!s.empty() && s.front().hook) {
      const std::function<void()> hook = std::move(s.front().hook);
      s.pop_front();
      hook();
    }
    if (s.empty() || (timeout_ms >= 0 && s.front().at > now() + timeout_ms)) {
      if (timeout_ms < 0) throw ScriptEnded();
      now() += timeout_ms;
      return 0;
    }
    const Timed e = s.front();
    s.pop_front();
    if (e.at > now()) now() = e.at;
    *x = e.x;
    *y = e.y;
    return int(e.type);
  }
  static int pending() { return script().empty() ? 0 : 1; }
  static double clock() { return now(); }
  static const TouchSource& source() {
    static const TouchSource s = {next, pending, clock};
    return s;
  }
};
