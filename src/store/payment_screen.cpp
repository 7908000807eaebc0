// The payment screen's drawing: QR code, amount, hint and buttons for each state.
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
constexpr int kAmountCentreY = 1062;
constexpr int kAmountReceivedY = 386;
constexpr size_t kAmountMax = 95;
constexpr int kHintY = 1120;
constexpr int kHintSize = 40;
constexpr int kHintLineHeight = 54;
constexpr int kSwitchY = 1164;
constexpr int kButtonHeight = 110;
constexpr int kButtonTextDrop = 72;
constexpr int kButtonTextSize = 54;
constexpr int kMessageY = 486;
constexpr int kMessageSize = 54;
constexpr int kMessageLineHeight = 66;
constexpr int kCloseY = 1292;

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

void draw_code(const std::string& text) {
  const int x = (ql_fb().width - kQrSize) / 2;
  if (ql_qr(text.c_str(), x, kQrTop, kQrSize)) {
    ql_mark(x - kQrQuiet, kQrTop - kQrQuiet, kQrSize + 2 * kQrQuiet, kQrSize + 2 * kQrQuiet,
            MASK_PICTURE);
  } else {
    ql_text("Could not draw the QR code", ui_face(TS_REGULAR), kButtonTextSize, kMarginX, kNoCodeY);
  }
}

void draw_button(int y, const char* label) {
  const int width = ql_fb().width - 2 * kMarginX;
  ql_frame(kMarginX, y, width, kButtonHeight, 2);
  ui_draw_centred(label, TS_REGULAR, kButtonTextSize, kMarginX, width, y + kButtonTextDrop);
}

void draw_wrapped(std::string_view text, int y, int size, int line_height) {
  ui_draw_wrapped(text.data(), text.size(), TS_REGULAR, size, kMarginX, y,
                  ql_fb().width - 2 * kMarginX, line_height);
}
}  // namespace

void payment_qr_screen(std::string_view pay_address, std::string_view total, bool bitcoin,
                       const InvoiceData* invoice, bool on_chain, PayState state) {
  const int width = ql_fb().width;
  const bool chain_shown = on_chain && has_switch(invoice);
  ui_draw_header(header_for(bitcoin, invoice, chain_shown, state));
  const std::string amount = amount_text(total, invoice);
  if (state == PayState::Waiting) {
    draw_code(!invoice      ? std::string(pay_address)
              : chain_shown ? invoice->on_chain
                            : invoice->lightning);
    ui_draw_centred(amount.c_str(), TS_BOLD, kAmountSize, 0, width, kAmountCentreY);
    draw_wrapped(hint_for(invoice, chain_shown), kHintY, kHintSize, kHintLineHeight);
    if (has_switch(invoice))
      draw_button(kSwitchY, chain_shown ? "Pay with Lightning instead" : "Pay on-chain instead");
  } else {
    ql_text(amount.c_str(), ui_face(TS_BOLD), kAmountSize, kMarginX, kAmountReceivedY);
    draw_wrapped(state == PayState::Seen
                     ? "We can see your payment. Your book arrives after one confirmation. You can "
                       "keep this screen open."
                     : "Bringing your book to the library.",
                 kMessageY, kMessageSize, kMessageLineHeight);
  }
  draw_button(kCloseY, state == PayState::Waiting ? "Cancel" : "Close");
}
