// The bug report screens driven by scripted taps: the form and its keyboard, the checks before
// the review, the review (its text never reaching the closing line and the buttons), sending to a
// local server, and the offer to send what an earlier visit had to keep. Screens are written as
// PNGs to $QL_TEST_SHOTS when set, to be looked at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "app/ui/ui_confirm.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_keyboard.h"
#include "app/ui/ui_list_geometry.h"
#include "app/ui/ui_list_menu.h"
#include "display/framebuffer.h"
#include "settings/bug_queue.h"
#include "settings/bug_report.h"
#include "store/download_server.h"
#include "support/screen_steps.h"
#include "support/ui_screen_fixture.h"

namespace {

enum FormRow { DESCRIPTION, STEPS, CONTACT, REVIEW };

class BugScreen : public ScreenTest, public ScreenSteps {
 protected:
  BugScreen() : ScreenSteps(touches_) {}
  void SetUp() override {
    ScreenTest::SetUp();
    bug_form() = BugForm{};
  }
  void TearDown() override {
    bug_form() = BugForm{};
    ScreenTest::TearDown();
  }

  BugReviewGeometry review() const { return bug_review_geometry(W(), H()); }
  void tap_review_back() { touches_.touch(100, review().button_top + 60); }
  void tap_review_send() { touches_.touch(review().send_x + 100, review().button_top + 60); }
  // Whether a shot shows the review: the Send button's thick outline.
  bool shows_review(const std::string& name) const {
    const BugReviewGeometry g = review();
    const std::vector<uint8_t>& p = pixels(name);
    return p[size_t(g.button_top + 2) * size_t(W()) + size_t(g.send_x + 60)] < 64 &&
           p[size_t(g.button_top + 60) * size_t(W()) + size_t(g.send_x + 2)] < 64;
  }
};

}  // namespace

TEST_F(BugScreen, FormEditsItsTextsAndKeepsThemOnLeaving) {
  tap_row(DESCRIPTION);
  type_keys("pages skip");
  tap_key("Done");
  tap_row(CONTACT);
  type_keys("kim@x.fi");
  tap_key("Done");
  tap_row(STEPS);
  type_keys("never kept");
  tap_key("Cancel");
  shot("form");
  tap_back();
  bug_report_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(bug_form().description, "pages skip");
  EXPECT_EQ(bug_form().steps, "");
  EXPECT_EQ(bug_form().contact, "kim@x.fi");
  // The rows show their values on the right: the description, and "optional" for the steps.
  ASSERT_TRUE(has_shot("form"));
  for (int row : {DESCRIPTION, STEPS, CONTACT}) {
    SCOPED_TRACE(row);
    EXPECT_LT(shot_darkest("form", W() / 2 + 100, kListTop + row * kListMenuRowHeight + 20, W() / 2 - 200,
                           kListMenuRowHeight - 40),
              128);
  }
}

TEST_F(BugScreen, ChecksBeforeTheReview) {
  struct Case {
    const char* name;
    const char* description;
    const char* contact;
    bool review;
  } cases[] = {
      {"seven bytes are too few", "1234567", "", false},
      {"eight bytes pass", "12345678", "", true},
      {"a dot before the at sign passes", "12345678", "kim.k@example", true},
      {"no dot at all is refused", "12345678", "kim@example", false},
      {"no at sign is refused", "12345678", "kim.example.org", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bug_form() = BugForm{c.description, "", c.contact};
    tap_row(REVIEW);
    shot(c.name);
    tap_review_back();  // leaves the review, or ends the message over the form
    tap_back();
    bug_report_screen();
    EXPECT_TRUE(ScriptedTouch::done());
    EXPECT_EQ(shows_review(c.name), c.review);
    EXPECT_EQ(entries_in(root_.state("bug-queue")), 0u);  // nothing saved either way
  }
}

TEST_F(BugScreen, ReviewTextNeverRunsIntoTheButtons) {
  // Everything below the text's room is the same however much there is to show.
  std::string longest;
  while (longest.size() + 10 < kBugTextMax) longest += "gjpqy word ";
  std::string log;
  for (int i = 0; i < 8; ++i) log += "quillo: a long line of the log that says what happened " + std::to_string(i) + "\n";
  write_file(root_.host("us/ql/quillo.log"), log);
  const struct {
    const char* name;
    BugForm form;
  } cases[] = {
      {"review-short", {"pages skip", "", ""}},
      {"review-long", {longest, longest, "kim@example.org"}},
  };
  for (const auto& c : cases) {
    bug_form() = c.form;
    tap_row(REVIEW);
    shot(c.name);
    tap_review_back();
    tap_back();
    bug_report_screen();
    ASSERT_TRUE(has_shot(c.name));
    EXPECT_TRUE(shows_review(c.name));
  }
  const BugReviewGeometry g = review();
  const size_t below_text = size_t(g.text_bottom + 12) * size_t(W());
  const std::vector<uint8_t>& short_shot = pixels("review-short");
  const std::vector<uint8_t>& long_shot = pixels("review-long");
  EXPECT_TRUE(std::equal(short_shot.begin() + ptrdiff_t(below_text), short_shot.end(),
                         long_shot.begin() + ptrdiff_t(below_text)));
  // The long text does fill the room above.
  uint8_t darkest_above = 255;
  for (int x = 48; x < W() - 48; ++x) {
    darkest_above = std::min(darkest_above, long_shot[size_t(g.text_bottom - 5) * size_t(W()) + size_t(x)]);
  }
  EXPECT_LT(darkest_above, 128);
}

TEST_F(BugScreen, SendingPostsTheReportAndClearsTheForm) {
  DownloadServer server;
  ASSERT_TRUE(server.ready());
  server.configure(root_);
  write_file(root_.host("us/ql/quillo.log"),
             "quillo: opened /mnt/us/documents/Private Diary.epub\nquillo: page 12\n");
  bug_form() = BugForm{"The page \"jumps\" back", "open\tturn", "kim@example.org"};
  tap_row(REVIEW);
  shot("review");
  tap_review_send();
  bug_report_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_TRUE(shows_review("review"));
  const std::string body = read_file(server.root() + "/posts/1");
  EXPECT_NE(body.find("\"description\":\"The page \\\"jumps\\\" back\""), std::string::npos) << body;
  EXPECT_NE(body.find("\"steps\":\"open turn\""), std::string::npos) << body;
  EXPECT_NE(body.find("\"log\":\"quillo: opened [book]\\nquillo: page 12\\n\""), std::string::npos)
      << body;
  EXPECT_EQ(body.find("Diary"), std::string::npos);
  EXPECT_EQ(entries_in(root_.state("bug-queue")), 0u);
  EXPECT_EQ(bug_form().description, "");
  EXPECT_EQ(bug_form().steps, "");
  EXPECT_EQ(bug_form().contact, "kim@example.org");
}

TEST_F(BugScreen, UnsentReportIsOfferedOnTheNextVisit) {
  write_file(root_.host("us/ql/servers.conf"), "bug-reports = 127.0.0.1:9\n");  // nothing listens
  bug_form() = BugForm{"The page jumps back", "", ""};
  tap_row(REVIEW);
  tap_review_send();
  bug_report_screen();
  ASSERT_TRUE(ScriptedTouch::done());
  ASSERT_EQ(entries_in(root_.state("bug-queue")), 1u);
  EXPECT_EQ(bug_form().description, "");  // kept in the queue, not in the form

  // Still no network: the report stays.
  tap_confirm_action();
  shot("offer-failed");
  touches_.touch(500, 700);  // ends the message
  tap_back();
  bug_report_screen();
  ASSERT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(entries_in(root_.state("bug-queue")), 1u);

  // With a server it goes, and the form opens after.
  DownloadServer server;
  ASSERT_TRUE(server.ready());
  server.configure(root_);
  tap_confirm_action();
  touches_.touch(500, 700);
  tap_back();
  bug_report_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(entries_in(root_.state("bug-queue")), 0u);
  EXPECT_NE(read_file(server.root() + "/posts/1").find("The page jumps back"), std::string::npos);
}
