// The payment screen's drawing: QR code, amount, hint and buttons for each state.
#include <algorithm>
#include <string>

#include "app/ui/ui_frame.h"
#include "app/ui/ui_text.h"
#include "base/utf8.h"
#include "display/fonts.h"
#include "display/framebuffer.h"
#include "display/images.h"
#include "store/store_payment.h"

namespace {
constexpr int kMarginX = 48;
constexpr int kQrSize = 780;
constexpr int kQrTop = 226;
constexpr int kNoCodeY = 500;
constexpr int kQrQuiet = 24;  // the picture mark reaches this far around the code
constexpr int kAmountSize = 64;
constexpr int kAmountReceivedY = 386;
constexpr size_t kAmountMax = 95;
constexpr int kHintSize = 40;
constexpr int kHintLineHeight = 54;
constexpr int kButtonTextDrop = 72;
constexpr int kButtonTextSize = 54;
constexpr int kButtonInset = 24;  // a label keeps this far from its frame's sides
constexpr int kMessageY = 486;
constexpr int kMessageSize = 54;
constexpr int kMessageLineHeight = 66;
// The column, from the bottom up: the close button's frame ends this far above the screen's
// bottom, the switch's frame starts this far above the close button's, the hint's last line this
// far above the switch, the amount this far above the hint, and the code this far above the
// amount.
constexpr int kCloseFromBottom = 156;
constexpr int kButtonPitch = 128;
constexpr int kHintAboveSwitch = 44;
constexpr int kAmountAboveHint = 58;
constexpr int kCodeAboveAmount = 56;
// Beside the code: the column starts this far right of it, its amount this far below the code's
// top; the code leaves this much room under it.
constexpr int kColumnGap = 72;
constexpr int kColumnAmountDrop = 104;
constexpr int kCodeBottomRoom = 66;
constexpr int kColumnMinWidth = 400;  // narrower than this, the column goes under the code
// Taps count from this far above a button's frame to this far below it.
constexpr int kSwitchSlackAbove = 8, kSwitchSlackBelow = 7;
constexpr int kCloseSlackAbove = 7, kCloseSlackBelow = 15;

PayGeometry stacked(int width, int height) {
  PayGeometry g;
  g.close_top = height - kCloseFromBottom;
  g.switch_top = g.close_top - kButtonPitch;
  g.hint_y = g.switch_top - kHintAboveSwitch;
  g.amount_y = g.hint_y - kAmountAboveHint;
  g.code_y = kQrTop;
  g.code_size = std::clamp(g.amount_y - kCodeAboveAmount - kQrTop, 0, kQrSize);
  g.code_x = (width - g.code_size) / 2;
  g.column_x = kMarginX;
  g.column_width = width - 2 * kMarginX;
  return g;
}

bool in_band(const PayGeometry& g, int x, int y, int top, int above, int below) {
  return x >= g.tap_left && y >= top - above && y <= top + kPayButtonHeight + below;
}

bool has_switch(const InvoiceData* invoice) { return invoice && !invoice->on_chain.empty(); }

const char* header_for(bool bitcoin, const InvoiceData* invoice, bool on_chain, PayState state) {
  if (state != PayState::Waiting) return "Payment received";
  if (invoice) return on_chain ? "Pay on-chain" : "Pay with Lightning";
  return bitcoin ? "Pay with Bitcoin" : "Pay with card";
}

std::string_view hint_for(const InvoiceData* invoice, bool on_chain) {
  if (!invoice) return "Scan with your phone and pay there. Your book arrives here.";
  if (on_chain) return "Scan with any Bitcoin wallet. Your book arrives after one confirmation.";
  return "Scan with any Lightning wallet. Your book arrives the moment it is paid.";
}

std::string amount_text(std::string_view total, const InvoiceData* invoice) {
  std::string text = invoice && !invoice->due.empty()
                         ? std::string(total) + "  ·  " + invoice->due + " sats"
                         : "Total " + std::string(total);
  text.resize(utf8_prefix_length(text, kAmountMax));
  return text;
}

void draw_code(const PayGeometry& g, const std::string& text) {
  if (g.code_size > 0 && ql_qr(text.c_str(), g.code_x, g.code_y, g.code_size)) {
    ql_mark(g.code_x - kQrQuiet, g.code_y - kQrQuiet, g.code_size + 2 * kQrQuiet,
            g.code_size + 2 * kQrQuiet, MASK_PICTURE);
  } else {
    ql_text("Could not draw the QR code", ui_face(TS_REGULAR), kButtonTextSize, kMarginX, kNoCodeY);
  }
}

void draw_button(const PayGeometry& g, int y, const char* label) {
  ql_frame(g.column_x, y, g.column_width, kPayButtonHeight, 2);
  ui_draw_centred(label, TS_REGULAR, kButtonTextSize, g.column_x + kButtonInset,
                  g.column_width - 2 * kButtonInset, y + kButtonTextDrop);
}
}  // namespace

PayGeometry pay_geometry(int width, int height) {
  if (width <= height) return stacked(width, height);
  PayGeometry g;
  g.code_size = std::clamp(height - kQrTop - kCodeBottomRoom, 0, kQrSize);
  g.code_x = kMarginX + kQrQuiet;
  g.code_y = kQrTop;
  g.column_x = g.code_x + g.code_size + kColumnGap;
  g.column_width = width - kMarginX - g.column_x;
  if (g.column_width < kColumnMinWidth) return stacked(width, height);
  g.close_top = g.code_y + g.code_size - kPayButtonHeight;
  g.switch_top = g.close_top - kButtonPitch;
  g.amount_y = g.code_y + kColumnAmountDrop;
  g.hint_y = g.amount_y + kAmountAboveHint;
  g.tap_left = g.column_x - kQrQuiet;
  return g;
}

bool pay_switch_tapped(const PayGeometry& g, int x, int y) {
  return in_band(g, x, y, g.switch_top, kSwitchSlackAbove, kSwitchSlackBelow);
}

bool pay_close_tapped(const PayGeometry& g, int x, int y) {
  return in_band(g, x, y, g.close_top, kCloseSlackAbove, kCloseSlackBelow);
}

void payment_qr_screen(std::string_view pay_address, std::string_view total, bool bitcoin,
                       const InvoiceData* invoice, bool on_chain, PayState state) {
  const int width = ql_fb().width;
  const PayGeometry g = pay_geometry(width, ql_fb().height);
  const bool chain_shown = on_chain && has_switch(invoice);
  ui_draw_header(header_for(bitcoin, invoice, chain_shown, state));
  const std::string amount = amount_text(total, invoice);
  if (state == PayState::Waiting) {
    draw_code(g, !invoice      ? std::string(pay_address)
                 : chain_shown ? invoice->on_chain
                               : invoice->lightning);
    ui_draw_centred(amount.c_str(), TS_BOLD, kAmountSize, g.column_x, g.column_width, g.amount_y);
    const std::string_view hint = hint_for(invoice, chain_shown);
    ui_draw_wrapped(hint.data(), hint.size(), TS_REGULAR, kHintSize, g.column_x, g.hint_y,
                    g.column_width, kHintLineHeight, g.switch_top - kHintAboveSwitch);
    if (has_switch(invoice))
      draw_button(g, g.switch_top,
                  chain_shown ? "Pay with Lightning instead" : "Pay on-chain instead");
  } else {
    ql_text(amount.c_str(), ui_face(TS_BOLD), kAmountSize, kMarginX, kAmountReceivedY);
    const std::string_view message =
        state == PayState::Seen
            ? "We can see your payment. Your book arrives after one confirmation. You can keep "
              "this screen open."
            : "Bringing your book to the library.";
    ui_draw_wrapped(message.data(), message.size(), TS_REGULAR, kMessageSize, kMarginX, kMessageY,
                    width - 2 * kMarginX, kMessageLineHeight);
  }
  draw_button(g, g.close_top, state == PayState::Waiting ? "Cancel" : "Close");
}
