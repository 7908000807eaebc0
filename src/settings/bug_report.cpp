// The bug report screens: the offer to send saved reports, the form, the review of exactly what
// will be sent, and saving and sending the report.
#include "settings/bug_report.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <utility>

#include "app/ui/ui_confirm.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_keyboard.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "display/device_facts.h"
#include "display/framebuffer.h"
#include "settings/bug_queue.h"
#include "settings/bug_report_file.h"

namespace {

constexpr std::string_view kFormTitle = "Report a bug";
constexpr std::string_view kSend = "Send";
constexpr int kCheckMessageMs = 2400;
constexpr int kSaveMessageMs = 2600;
constexpr int kSentMessageMs = 3000;

// The review's text.
constexpr int kReviewTop = 282;
constexpr int kReviewX = 48;
constexpr int kReviewSize = 40;
constexpr int kReviewLineHeight = 52;
constexpr int kReviewGap = 10;  // between two paragraphs
constexpr int kLogSize = 26;
constexpr int kLogLineHeight = 34;

enum Row { DESCRIPTION, STEPS, CONTACT, REVIEW };

void show_message(std::string_view text, int timeout_ms) {
  ui_toast_wait(text.data(), text.size(), timeout_ms);
}

void toast(std::string_view text) { ui_toast(text.data(), text.size()); }

// Offers the reports an earlier visit could not send, and sends them when asked.
void offer_queued() {
  const size_t n = bug_queue_list().size();
  if (n == 0) return;
  const std::string question = std::to_string(n) + " saved report" + (n == 1 ? " was" : "s were") +
                               " not sent yet. Send now?";
  if (!ui_confirm(question.data(), question.size(), kSend.data(), kSend.size())) return;
  toast("Sending...");
  show_message(bug_pass_message(bug_send_queue()), kSaveMessageMs);
}

// Edits one of the form's texts; Done replaces it (cut to `keep` bytes), Cancel keeps it.
void edit_text(std::string_view title, std::string& text, size_t capacity, size_t keep) {
  std::string buffer(capacity, '\0');
  const std::optional<std::string_view> edited =
      keyboard_edit(title.data(), title.size(), buffer.data(), capacity, text.data(), text.size(),
                    false);
  if (edited) text.assign(ui_utf8_prefix(*edited, keep));
}

std::string row_text(std::string_view label, const std::string& value, std::string_view empty) {
  return std::string(label) + std::string(value.empty() ? empty : std::string_view(value));
}

// The checks before the review; false after telling what is missing.
bool form_complete(const BugForm& form) {
  if (form.description.size() < kBugDescriptionMin) {
    show_message("Please say what happened first.", kCheckMessageMs);
    return false;
  }
  const std::string& mail = form.contact;
  if (!mail.empty() &&
      (mail.find('@') == std::string::npos || mail.find('.') == std::string::npos)) {
    show_message("That email does not look complete.", kCheckMessageMs);
    return false;
  }
  return true;
}

// Draws `text` wrapped from `y`, none of it below the geometry's text bottom; the next baseline.
int draw_paragraph(const BugReviewGeometry& g, std::string_view text, int size, int line_height,
                   int y) {
  return ui_draw_wrapped(text.data(), text.size(), TS_REGULAR, size, kReviewX, y,
                         g.w - 2 * kReviewX, line_height, g.text_bottom);
}

void draw_review(const BugReviewGeometry& g, const BugForm& form, std::string_view log) {
  ui_draw_header("This will be sent");
  const std::array<std::pair<std::string_view, std::string_view>, 5> fields = {{
      {"What happened", form.description},
      {"Steps", form.steps},
      {"Email", form.contact},
      {"Platform", bug_platform()},
      {"Device", bug_device()},
  }};
  int y = kReviewTop;
  for (const auto& [label, value] : fields) {
    if (value.empty()) continue;
    // Shown as the report will hold it: a TAB is sent as a space.
    std::string text = std::string(label) + ": " + std::string(value);
    std::replace(text.begin(), text.end(), '\t', ' ');
    y = draw_paragraph(g, text, kReviewSize, kReviewLineHeight, y) + kReviewGap;
  }
  if (!log.empty()) {
    y = draw_paragraph(g, "Recent log (book names removed):", kReviewSize, kReviewLineHeight, y);
    while (!log.empty()) {
      const size_t lf = log.find('\n');
      y = draw_paragraph(g, log.substr(0, lf), kLogSize, kLogLineHeight, y);
      log = lf == std::string_view::npos ? std::string_view() : log.substr(lf + 1);
    }
  }
  ql_text("Nothing else leaves this device.", TS_UI_BOLD, float(kReviewSize), float(kReviewX),
          float(g.closing_y));
  ui_draw_button("Back", TS_UI, kReviewX, g.button_top, g.button_width, 2);
  ui_draw_button(kSend.data(), TS_UI_BOLD, g.send_x, g.button_top, g.button_width, 4);
  ui_present(false);
}

// Shows the review until Back or Send; true for Send.
bool review(const BugForm& form, std::string_view log) {
  for (;;) {
    const BugReviewGeometry g = bug_review_geometry(ql_fb().width, ql_fb().height);
    draw_review(g, form, log);
    TapEvent event;
    ui_wait_event(event);
    if (event.code != TAP_TOUCH) continue;
    switch (bug_review_hit(g, int(event.x), int(event.y))) {
      case BugReviewTap::Back: return false;
      case BugReviewTap::Send: return true;
      case BugReviewTap::Redraw: break;
    }
  }
}

// Saves the report in the queue and tries to send it. True when it was saved (the form's texts are
// then cleared, the e-mail kept); false back to the form after telling why it was not.
bool save_and_send(BugForm& form, std::string_view log) {
  const std::optional<std::string> document =
      bug_report_json({form.description, form.steps, form.contact, log});
  if (!document) {
    show_message("That report is too long. Please shorten it.", kSaveMessageMs);
    return false;
  }
  const std::optional<std::string> name = bug_queue_save(*document, ql_now());
  if (!name) {
    show_message("Could not save the report. Check storage.", kSaveMessageMs);
    return false;
  }
  toast("Sending...");
  show_message(bug_sent_message(bug_send_queued(*name)), kSentMessageMs);
  form.description.clear();
  form.steps.clear();
  return true;
}

}  // namespace

BugForm& bug_form() {
  static BugForm form;
  return form;
}

BugReviewGeometry bug_review_geometry(int w, int h) {
  BugReviewGeometry g;
  g.w = w;
  g.h = h;
  g.button_width = (w - 128) / 2;
  g.button_top = h - 170;
  g.send_x = g.button_width + 80;
  // The closing line's capitals reach up to about h - 250; a descender of the text above stays
  // clear of them.
  g.text_bottom = h - 262;
  g.closing_y = h - 220;
  return g;
}

BugReviewTap bug_review_hit(const BugReviewGeometry& g, int x, int y) {
  if (x < 240 && y <= kHeaderBottom) return BugReviewTap::Back;
  if (y >= g.h - 180 && y <= g.h - 40) {
    return x < g.button_width + 64 ? BugReviewTap::Back : BugReviewTap::Send;
  }
  return BugReviewTap::Redraw;
}

void bug_report_screen() {
  offer_queued();
  BugForm& form = bug_form();
  for (;;) {
    const std::array<std::string, 4> rows = {
        row_text("What happened: ", form.description, "tap to write"),
        row_text("Steps to repeat it: ", form.steps, "optional"),
        row_text("Your email: ", form.contact, "optional"),
        "Review and send",
    };
    const std::array<std::string_view, 4> views = {rows[0], rows[1], rows[2], rows[3]};
    const std::optional<size_t> pick = ui_list_menu(kFormTitle.data(), kFormTitle.size(), views);
    if (!pick) return;
    switch (*pick) {
      case DESCRIPTION:
        edit_text("What happened", form.description, kBugTextKeyboard, kBugTextMax);
        break;
      case STEPS:
        edit_text("Steps to repeat it", form.steps, kBugTextKeyboard, kBugTextMax);
        break;
      case CONTACT:
        edit_text("Your email (optional)", form.contact, kBugContactKeyboard, kBugContactMax);
        break;
      default: {
        if (!form_complete(form)) break;
        const std::string log = bug_log_excerpt();
        if (review(form, log) && save_and_send(form, log)) return;
        break;
      }
    }
  }
}
