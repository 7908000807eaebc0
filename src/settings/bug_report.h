// Reporting a bug: the form, the review screen and the queue of reports waiting to be sent.
#pragma once
#include <cstddef>
#include <string>

// The whole flow; returns to the settings.
void bug_report_screen();

// The texts of the report being written, kept for the whole run (leaving the screen keeps them;
// sending clears the description and the steps, the e-mail stays for the next report).
struct BugForm {
  std::string description;
  std::string steps;
  std::string contact;
};
BugForm& bug_form();

// The most bytes kept of each text, and the keyboard's capacity for it.
constexpr size_t kBugTextMax = 999;
constexpr size_t kBugTextKeyboard = 1000;
constexpr size_t kBugContactMax = 119;
constexpr size_t kBugContactKeyboard = 119;
// The shortest description accepted.
constexpr size_t kBugDescriptionMin = 8;

// The review screen's layout on a screen of w x h, read by its drawing and its taps.
struct BugReviewGeometry {
  int w = 0, h = 0;
  int button_width = 0;  // (w - 128) / 2
  int button_top = 0;    // h - 170
  int send_x = 0;        // the Send button's left edge (Back's is 48)
  int text_bottom = 0;   // the lowest baseline of the report's text, clear of what lies below
  int closing_y = 0;     // "Nothing else leaves this device."
};
BugReviewGeometry bug_review_geometry(int w, int h);

enum class BugReviewTap { Redraw, Back, Send };
BugReviewTap bug_review_hit(const BugReviewGeometry& g, int x, int y);
