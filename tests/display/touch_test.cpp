// Touch gestures over a scripted event source and a fake clock: holds and swipes are timed without
// sleeping.
#include "display/framebuffer.h"
#include "display/touch.h"
#include "host/host_queue.h"
#include "host/plat.h"

#include <deque>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Timed {
  double at_ms;
  uint32_t type;
  int x, y;
};

// The fake source: events arrive at their scripted times; waiting advances the clock.
std::deque<Timed> script;
double now = 0;
std::vector<int> waits;  // the time-out of every wait the touch layer asked for

int fake_event(int timeout_ms, int* x, int* y) {
  waits.push_back(timeout_ms);
  if (script.empty() || (timeout_ms >= 0 && script.front().at_ms > now + timeout_ms)) {
    if (timeout_ms < 0) {
      ADD_FAILURE() << "waited without end on an empty script";
      return HOST_QUIT;
    }
    now += timeout_ms;
    return 0;
  }
  const Timed e = script.front();
  script.pop_front();
  if (e.at_ms > now) now = e.at_ms;
  *x = e.x;
  *y = e.y;
  return static_cast<int>(e.type);
}
int fake_pending() { return script.empty() ? 0 : 1; }
double fake_now() { return now; }
const TouchSource kFake = {fake_event, fake_pending, fake_now};

struct Result {
  int code, x, y, x2, y2, held;
};

Result touch() {
  Result r{};
  r.code = ql_touch_ex(&r.x, &r.y, &r.x2, &r.y2, &r.held);
  return r;
}

class Touch : public ::testing::Test {
 protected:
  void SetUp() override {
    // A frame with input: other suites of this program leave a headless one, whose waits all
    // read as quit.
    if (!ql_fb().pixels || ql_headless()) {
      host_reset();
      ASSERT_EQ(ql_init(0), 1);
    }
    script.clear();
    waits.clear();
    now = 1000;
    ql_touch_set_source(&kFake);
    ql_touch_timeout(0);
    ql_touch_early(0, 0, 0);
  }
  void TearDown() override {
    ql_touch_page_keys(nullptr);
    ql_touch_early(0, 0, 0);
    ql_touch_timeout(0);
    ql_touch_set_source(nullptr);
  }
  static void add(double at, uint32_t type, int x = 0, int y = 0) {
    script.push_back({at, type, x, y});
  }
};

}  // namespace

TEST_F(Touch, TapHoldAndSwipeEndAsGestures) {
  struct Case {
    const char* name;
    int down_x, down_y, up_x, up_y;
    double held_ms;
  } cases[] = {
      {"tap", 500, 700, 500, 700, 80},
      {"hold", 500, 700, 502, 701, 2000},
      {"swipe", 800, 700, 300, 720, 150},
  };
  ASSERT_EQ(ql_fb().width, 1072);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    add(now + 10, HOST_POINTER_DOWN, c.down_x, c.down_y);
    add(now + 20, HOST_POINTER_MOVE, (c.down_x + c.up_x) / 2, 0);
    add(now + 10 + c.held_ms, HOST_POINTER_UP, c.up_x, c.up_y);
    const Result r = touch();
    EXPECT_EQ(r.code, TOUCH_GESTURE);
    EXPECT_EQ(r.x, c.down_x);
    EXPECT_EQ(r.y, c.down_y);
    EXPECT_EQ(r.x2, c.up_x);
    EXPECT_EQ(r.y2, c.up_y);
    EXPECT_EQ(r.held, static_cast<int>(c.held_ms));
  }
}

TEST_F(Touch, TimeOutOnlyWhileNoPointerIsDown) {
  ql_touch_timeout(500);
  EXPECT_EQ(touch().code, TOUCH_TIMEOUT);
  EXPECT_NEAR(now, 1501, 1);  // waited trunc(remaining) + 1 ms

  // Held for two seconds: the 500 ms time-out does not end the wait.
  add(now + 100, HOST_POINTER_DOWN, 300, 300);
  add(now + 2100, HOST_POINTER_UP, 300, 300);
  const Result r = touch();
  EXPECT_EQ(r.code, TOUCH_GESTURE);
  EXPECT_EQ(r.held, 2000);
  EXPECT_EQ(waits.back(), -1);  // the last wait, with the pointer down, had no end
}

TEST_F(Touch, TimeOutZeroWaitsForAnEvent) {
  add(now + 60000, HOST_POINTER_DOWN, 10, 10);
  add(now + 60050, HOST_POINTER_UP, 10, 10);
  EXPECT_EQ(touch().code, TOUCH_GESTURE);
  for (int w : waits) EXPECT_EQ(w, -1);
}

TEST_F(Touch, PollSetsTheTimeOutThatStays) {
  int x, y, x2, y2, held;
  EXPECT_EQ(ql_touch_poll(&x, &y, &x2, &y2, &held, 30), TOUCH_TIMEOUT);
  const double before = now;
  EXPECT_EQ(touch().code, TOUCH_TIMEOUT);  // still 30 ms
  EXPECT_NEAR(now - before, 31, 1);
}

TEST_F(Touch, EarlyEdgeZone) {
  // Edge 120, top 100, bottom 1300 on a 1072-wide frame.
  struct Case {
    const char* name;
    int x, y;
    double held_ms;
    int travel;
    std::vector<int> codes;  // results of successive waits
  } cases[] = {
      {"left edge tap", 50, 700, 100, 0, {TOUCH_EARLY}},
      {"left edge hold", 50, 700, 600, 0, {TOUCH_EARLY, TOUCH_EARLY_CANCEL}},
      {"right edge tap", 960, 700, 100, 0, {TOUCH_EARLY}},
      {"middle", 500, 700, 100, 0, {TOUCH_GESTURE}},
      {"bottom is exclusive", 50, 1300, 100, 0, {TOUCH_GESTURE}},
      {"above the top", 50, 99, 100, 0, {TOUCH_GESTURE}},
      {"swipe of 150 swallowed", 50, 700, 200, 150, {TOUCH_EARLY}},
      {"swipe of 151", 50, 700, 200, 151, {TOUCH_EARLY, TOUCH_EARLY_CANCEL}},
      {"hold of exactly 449", 50, 700, 449, 0, {TOUCH_EARLY}},
      {"hold of 450", 50, 700, 450, 0, {TOUCH_EARLY, TOUCH_EARLY_CANCEL}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    ql_touch_early(120, 100, 1300);
    add(now + 5, HOST_POINTER_DOWN, c.x, c.y);
    add(now + 10, HOST_POINTER_MOVE, c.x + c.travel, c.y);
    add(now + 5 + c.held_ms, HOST_POINTER_UP, c.x + c.travel, c.y);
    // A marker after the gesture shows where the gesture's reports end.
    add(now + 5000, HOST_BOOKS_ADDED);
    for (int code : c.codes) {
      const Result r = touch();
      EXPECT_EQ(r.code, code);
      EXPECT_EQ(r.x, c.x);
      EXPECT_EQ(r.y, c.y);
    }
    EXPECT_EQ(touch().code, TOUCH_BOOKS_ADDED);
    EXPECT_TRUE(script.empty());
  }
}

TEST_F(Touch, EarlyTouchReportsOnlyOncePerGesture) {
  ql_touch_early(120, 100, 1300);
  add(now + 5, HOST_POINTER_DOWN, 50, 700);
  add(now + 10, HOST_POINTER_DOWN, 60, 700);  // a second press while one is tracked
  add(now + 700, HOST_POINTER_UP, 60, 700);
  EXPECT_EQ(touch().code, TOUCH_EARLY);
  const Result r = touch();
  EXPECT_EQ(r.code, TOUCH_EARLY_CANCEL);
  EXPECT_EQ(r.x, 60);  // the latest press is the gesture's start
}

TEST_F(Touch, HostEventsEndTheWait) {
  struct Case {
    uint32_t type;
    int code;
    bool ends_gesture;
  } cases[] = {
      {HOST_DEVICE_EVENT, TOUCH_DEVICE, true},   {HOST_BOOKS_ADDED, TOUCH_BOOKS_ADDED, true},
      {HOST_APPEARANCE, TOUCH_APPEARANCE, true}, {HOST_DEVICE_EVENT_2, TOUCH_DEVICE_2, true},
      {HOST_QUIT, TOUCH_QUIT, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    SetUp();
    add(now + 5, HOST_POINTER_DOWN, 400, 400);
    add(now + 10, c.type);
    add(now + 20, HOST_POINTER_UP, 410, 400);
    add(now + 30, HOST_POINTER_DOWN, 10, 10);
    add(now + 40, HOST_POINTER_UP, 10, 10);
    EXPECT_EQ(touch().code, c.code);
    const Result r = touch();
    EXPECT_EQ(r.code, TOUCH_GESTURE);
    // A quit leaves the gesture open: its pointer-up still ends it. Other events forget it, so
    // that pointer-up is ignored and the next gesture is reported.
    EXPECT_EQ(r.x, c.ends_gesture ? 10 : 400);
  }
}

// A page key is a tap at the point the waiting screen gave it, held no time; where the screen
// gave it none, or while a finger is down, it does nothing.
TEST_F(Touch, PageKeysTapWhereTheScreenPlacesThem) {
  const PageKeyTaps keys{1012, 1300, 60, 1300};
  struct Case {
    const char* name;
    const PageKeyTaps* keys;
    int forward;
    bool pressed;  // a finger is down at (400, 400) when the key comes
    int x, y;      // the gesture reported
  } cases[] = {
      {"forward", &keys, 1, false, 1012, 1300},
      {"back", &keys, 0, false, 60, 1300},
      {"no place: the next touch", nullptr, 1, false, 300, 300},
      {"under a finger: that touch", &keys, 1, true, 400, 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    ql_touch_page_keys(c.keys);
    if (c.pressed) add(now + 5, HOST_POINTER_DOWN, 400, 400);
    add(now + 10, HOST_PAGE_KEY, c.forward);
    if (c.pressed) add(now + 60, HOST_POINTER_UP, 400, 400);
    add(now + 100, HOST_POINTER_DOWN, 300, 300);
    add(now + 140, HOST_POINTER_UP, 300, 300);
    const Result r = touch();
    EXPECT_EQ(r.code, TOUCH_GESTURE);
    EXPECT_EQ(r.x, c.x);
    EXPECT_EQ(r.y, c.y);
    EXPECT_EQ(r.x2, c.x);
    EXPECT_EQ(r.y2, c.y);
    if (c.x != 300) {
      EXPECT_EQ(r.held, c.pressed ? 55 : 0);
      EXPECT_EQ(touch().x, 300) << "the touch after it";
    }
    EXPECT_TRUE(script.empty());
  }
}

// In the reader's early zone a page key turns at once, as a tap there does; its release waits for
// the next wait and never reads as a hold, however long the page took to draw.
TEST_F(Touch, APageKeyInTheEarlyZoneTurnsOnceAndIsNeverAHold) {
  ql_touch_early(268, 144, 1378);
  const PageKeyTaps keys{1012, 724, 60, 724};
  ql_touch_page_keys(&keys);
  add(now + 10, HOST_PAGE_KEY, 1);
  Result r = touch();
  EXPECT_EQ(r.code, TOUCH_EARLY);
  EXPECT_EQ(r.x, 1012);
  EXPECT_EQ(r.y, 724);
  now += 2000;  // a slow page
  add(now + 10, HOST_BOOKS_ADDED);
  EXPECT_EQ(touch().code, TOUCH_BOOKS_ADDED) << "the key's release was silent";
  add(now + 10, HOST_PAGE_KEY, 0);
  r = touch();
  EXPECT_EQ(r.code, TOUCH_EARLY);
  EXPECT_EQ(r.x, 60);
}

TEST_F(Touch, StrayEventsAreIgnored) {
  add(now + 5, HOST_POINTER_UP, 1, 1);      // up without down
  add(now + 6, HOST_POINTER_MOVE, 2, 2);    // move without down
  add(now + 7, 99, 3, 3);                   // unknown type
  add(now + 8, HOST_POINTER_DOWN, 4, 4);
  add(now + 9, HOST_POINTER_UP, 5, 5);
  const Result r = touch();
  EXPECT_EQ(r.code, TOUCH_GESTURE);
  EXPECT_EQ(r.x, 4);
  EXPECT_EQ(r.x2, 5);
}

TEST_F(Touch, WaitingAsksTheSource) {
  EXPECT_EQ(ql_touch_waiting(), 0);
  add(now + 5, HOST_POINTER_DOWN, 4, 4);
  EXPECT_NE(ql_touch_waiting(), 0);
  script.clear();
}
