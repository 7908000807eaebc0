// The input waits: how each touch result reaches a screen, the housekeeping they do, and the exit
// on quit (status 0, or 3 in the screenshot mode when no PNG was written).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/ui/settings_file.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_wait.h"
#include "display/device_facts.h"
#include "support/ui_screen_fixture.h"

namespace {

using Waits = ScreenTest;

enum class Which { Common, Timed, Timeout };
TapEvent wait(Which which, int timeout_ms = 1000) {
  TapEvent e;
  e.code = 99;  // every wait starts from a cleared event
  e.x = 12345;
  switch (which) {
    case Which::Common: ui_wait_event(e); break;
    case Which::Timed: EXPECT_EQ(ui_wait_event_timed(e, timeout_ms), e.code); break;
    case Which::Timeout: ui_wait_event_timeout(e, timeout_ms); break;
  }
  return e;
}

TEST_F(Waits, BackKeyIsATapOnTheArrowUnlessPassedThrough) {
  for (Which which : {Which::Common, Which::Timed, Which::Timeout}) {
    SCOPED_TRACE(int(which));
    touches_.event(HOST_DEVICE_EVENT_2);
    const TapEvent tap = wait(which);
    EXPECT_EQ(tap.code, TAP_TOUCH);
    EXPECT_EQ(tap.x, 62u);
    EXPECT_EQ(tap.y, 168u);
    EXPECT_EQ(tap.x2, 62u);
    EXPECT_EQ(tap.y2, 168u);
    EXPECT_EQ(tap.held_ms, 40u);
    {
      BackPassthrough pass;
      touches_.event(HOST_DEVICE_EVENT_2);
      const TapEvent back = wait(which);
      EXPECT_EQ(back.code, TAP_BACK);
      EXPECT_EQ(back.x, 0u);
    }
    EXPECT_FALSE(app.back_passthrough);
  }
}

// The waits that give the page keys a place turn them into taps there, held no time; the place
// lasts for that wait only, and a wait that gives none lets the key pass unseen.
TEST_F(Waits, PageKeysTapWhereTheWaitPlacesThem) {
  const PageKeyTaps keys = ui_pager_keys(W(), H() - 40);
  EXPECT_EQ(keys.forward_x, W() - 60);
  EXPECT_EQ(keys.back_x, 60);
  for (const bool timed : {false, true}) {
    SCOPED_TRACE(timed ? "timed" : "common");
    for (const int forward : {1, 0}) {
      touches_.event(HOST_PAGE_KEY, forward);
      TapEvent e;
      if (timed) {
        EXPECT_EQ(ui_wait_event_timed(e, 0, &keys), TAP_TOUCH);
      } else {
        ui_wait_event(e, &keys);
      }
      EXPECT_EQ(e.code, TAP_TOUCH);
      EXPECT_EQ(e.x, uint32_t(forward ? W() - 60 : 60));
      EXPECT_EQ(e.y, uint32_t(H() - 40));
      EXPECT_EQ(e.x2, e.x);
      EXPECT_EQ(e.y2, e.y);
      EXPECT_EQ(e.held_ms, 0u);
    }
    touches_.event(HOST_PAGE_KEY, 1);
    touches_.touch(300, 400);
    const TapEvent e = wait(timed ? Which::Timed : Which::Common, 0);
    EXPECT_EQ(e.code, TAP_TOUCH);
    EXPECT_EQ(e.x, 300u);
  }
}

TEST_F(Waits, EachWaitTranslatesHostEventsItsOwnWay) {
  struct Case {
    const char* name;
    uint32_t host_event;
    int common, timed, timeout;
  };
  const Case cases[] = {
      {"appearance", HOST_APPEARANCE, TAP_REDRAW, TAP_APPEARANCE, TAP_APPEARANCE},
      {"books added", HOST_BOOKS_ADDED, TAP_REDRAW, TAP_BOOKS_ADDED, TAP_BOOKS_ADDED},
      {"device event", HOST_DEVICE_EVENT, TAP_REDRAW, TAP_REDRAW, TAP_DEVICE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    touches_.event(c.host_event);
    EXPECT_EQ(wait(Which::Common).code, c.common);
    touches_.event(c.host_event);
    EXPECT_EQ(wait(Which::Timed).code, c.timed);
    touches_.event(c.host_event);
    EXPECT_EQ(wait(Which::Timeout).code, c.timeout);
  }
}

TEST_F(Waits, CommonWaitDoesTheHousekeepingOfEachEvent) {
  app.present.clean = true;
  touches_.event(HOST_APPEARANCE);
  EXPECT_EQ(wait(Which::Common).code, TAP_REDRAW);
  EXPECT_FALSE(app.present.clean);  // the next present is a full refresh

  app.library_page = 4;
  touches_.event(HOST_BOOKS_ADDED);
  EXPECT_EQ(wait(Which::Common).code, TAP_REDRAW);
  EXPECT_EQ(app.library_page, 0u);

  // A device event saves everything before the redraw.
  settings.font = 77;
  app.present.clean = true;
  touches_.event(HOST_DEVICE_EVENT);
  EXPECT_EQ(wait(Which::Common).code, TAP_REDRAW);
  EXPECT_FALSE(app.present.clean);
  EXPECT_NE(read_file(root_.state("settings.txt")).find("77"), std::string::npos);
}

TEST_F(Waits, TouchesArePassedWithTheirPoints) {
  touches_.touch(300, 400, 600, 700, 420);
  const TapEvent e = wait(Which::Common);
  EXPECT_EQ(e.code, TAP_TOUCH);
  EXPECT_EQ(e.x, 300u);
  EXPECT_EQ(e.y, 400u);
  EXPECT_EQ(e.x2, 700u);
  EXPECT_EQ(e.y2, 420u);
  EXPECT_EQ(e.held_ms, 600u);
}

TEST_F(Waits, TimedWaitsEndByTimeOutOrOnlyByAnEvent) {
  const double t0 = ScriptedTouch::now();
  EXPECT_EQ(wait(Which::Timed, 800).code, TAP_TIMEOUT);
  EXPECT_GE(ScriptedTouch::now() - t0, 800);
  EXPECT_EQ(wait(Which::Timeout, 300).code, TAP_TIMEOUT);
  // Time-out 0: slices of 5 s pass until the touch 12 s later.
  touches_.touch(10, 500, 40);
  touches_.event(HOST_POINTER_DOWN, 20, 600, 12000);
  touches_.event(HOST_POINTER_UP, 20, 600, 40);
  EXPECT_EQ(wait(Which::Timed, 0).x, 10u);
  const double t1 = ScriptedTouch::now();
  const TapEvent late = wait(Which::Timed, 0);
  EXPECT_EQ(late.code, TAP_TOUCH);
  EXPECT_EQ(late.x, 20u);
  EXPECT_GE(ScriptedTouch::now() - t1, 12000);
}

TEST_F(Waits, WifiIsReadAtMostOnceAMinuteAndNeverByTimedWaits) {
  app.wifi_state = 5;  // a value ql_wifi_on never gives, so a read shows
  app.wifi_polled_at = ql_now() - 30;
  touches_.touch(1, 300);
  wait(Which::Common);
  EXPECT_EQ(app.wifi_state, 5);
  app.wifi_polled_at = ql_now() - 61;
  touches_.touch(1, 300);
  wait(Which::Timed);
  touches_.touch(1, 300);
  wait(Which::Timeout);
  EXPECT_EQ(app.wifi_state, 5);
  touches_.touch(1, 300);
  wait(Which::Common);
  EXPECT_EQ(app.wifi_state, 0);
  EXPECT_GE(app.wifi_polled_at, ql_now() - 1);
}

TEST_F(Waits, QuitSavesAndExitsZero) {
  for (Which which : {Which::Common, Which::Timed, Which::Timeout}) {
    SCOPED_TRACE(int(which));
    settings.font = 71;
    EXPECT_EXIT(
        {
          touches_.event(HOST_QUIT);
          wait(which);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_NE(read_file(root_.state("settings.txt")).find("71"), std::string::npos);
  }
}

// The cleanups write here, as a quit ends the process before a test could look at memory.
std::string quit_note_path;
void note_quit(const char* who) {
  FILE* f = fopen(quit_note_path.c_str(), "a");
  fputs(who, f);
  fclose(f);
}

TEST_F(Waits, QuitRunsTheInnermostCleanupOnceBeforeSaving) {
  quit_note_path = root_.host("quit-notes");
  settings.font = 72;
  EXPECT_EXIT(
      {
        const QuitCleanup outer([] { note_quit("outer;"); });
        {
          const QuitCleanup inner([] { note_quit("inner;"); });  // ended: no longer runs
        }
        const QuitCleanup innermost([] { note_quit("innermost;"); });
        touches_.event(HOST_QUIT);
        wait(Which::Common);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(read_file(quit_note_path), "innermost;");
  EXPECT_NE(read_file(root_.state("settings.txt")).find("72"), std::string::npos);
}

TEST_F(Waits, EndingUnsavedWritesNothing) {
  settings.font = 73;
  EXPECT_EXIT(ui_exit_unsaved(), testing::ExitedWithCode(0), "");
  EXPECT_FALSE(file_exists(root_.state("settings.txt")));
}

TEST_F(Waits, QuitInTheScreenshotModeBeforeAnyPngIsNotSuccess) {
  const std::string png = root_.host("shot.png");
  app.screenshot.on = true;
  app.screenshot.png = png.c_str();
  EXPECT_EXIT(
      {
        touches_.event(HOST_QUIT);
        wait(Which::Common);
      },
      testing::ExitedWithCode(kScreenshotNothingStatus), "");
  EXPECT_FALSE(file_exists(png));
  // The toast's own short wait ends the same way once its frame was only counted.
  app.screenshot.frames = 5;
  EXPECT_EXIT(
      {
        touches_.event(HOST_QUIT);
        ui_toast_wait("x", 1, 2500);
      },
      testing::ExitedWithCode(kScreenshotNothingStatus), "");
  EXPECT_FALSE(file_exists(png));
}

TEST_F(Waits, ToastWaitEndsAtATouchOrAfterItsTime) {
  const double t0 = ScriptedTouch::now();
  touches_.touch(500, 500, 40);  // down 10 ms, up 40 ms later
  EXPECT_EQ(ui_toast_wait("Saved", 5, 2500), TAP_TOUCH);
  EXPECT_LT(ScriptedTouch::now() - t0, 100);
  const double t1 = ScriptedTouch::now();
  EXPECT_EQ(ui_toast_wait("Saved", 5, 2500), TAP_TIMEOUT);
  EXPECT_GE(ScriptedTouch::now() - t1, 2500);
  EXPECT_LT(ScriptedTouch::now() - t1, 2600);
}

TEST_F(Waits, HighlightLimitQuitSavesAndExitsZero) {
  settings.font = 66;
  EXPECT_EXIT(
      {
        touches_.event(HOST_QUIT);
        reader_show_highlight_limit();
      },
      testing::ExitedWithCode(0), "");
  EXPECT_NE(read_file(root_.state("settings.txt")).find("66"), std::string::npos);
}

TEST_F(Waits, CommonTranslationServesInputTakenOutsideTheWaits) {
  TapEvent e;
  app.library_page = 3;
  EXPECT_EQ(ui_common_event(TAP_BOOKS_ADDED, e), TAP_REDRAW);
  EXPECT_EQ(app.library_page, 0u);
  EXPECT_EQ(ui_common_event(TAP_STORAGE, e), TAP_REDRAW);
  EXPECT_EQ(ui_common_event(TAP_EARLY, e), TAP_EARLY);
  EXPECT_EQ(ui_common_event(TAP_BACK, e), TAP_TOUCH);
  EXPECT_EQ(e.x, 62u);
}

TEST_F(Waits, StorageEventRecreatesAMissingDocumentsFolder) {
  const std::string docs = root_.host("us/documents");
  ASSERT_FALSE(file_exists(docs));
  TapEvent e;
  EXPECT_EQ(ui_common_event(TAP_STORAGE, e), TAP_REDRAW);
  struct stat st{};
  EXPECT_EQ(stat(docs.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
}

}  // namespace
