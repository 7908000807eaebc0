#include "store/store_payment.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "app/ui/ui_frame.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_wait.h"
#include "base/paths.h"
#include "base/text_lines.h"
#include "display/device_scripts.h"
#include "display/framebuffer.h"
#include "store/orders_file.h"
#include "store/store_catalog.h"
#include "store/store_orders.h"

namespace {
constexpr int kPollMs = 1000;
constexpr int kMessageMs = 4000;
constexpr size_t kStateWordMax = 23;
constexpr size_t kStateReadMax = 128;

enum class WatchWord { Waiting, Seen, Settled, Ready, Expired, Stopped };

std::string_view trimmed(std::string_view s) { return s.substr(0, trimmed_length(s)); }

// The watcher's word: the first line of its state file. A watcher may name the order it watches
// on a second line; a report naming another order (one left from an earlier payment) is waiting.
WatchWord read_watch_word(std::string_view order_id) {
  const std::optional<std::string> text = read_file_alloc(kPayStatePath, kStateReadMax);
  if (!text) return WatchWord::Waiting;
  const std::string_view all(*text);
  const size_t nl = std::min(all.find('\n'), all.size());
  const std::string_view word = trimmed(all.substr(0, nl));
  const std::string_view rest = all.substr(std::min(nl + 1, all.size()));
  const std::string_view named = trimmed(rest.substr(0, rest.find('\n')));
  if (word.size() > kStateWordMax || (!named.empty() && named != order_id)) return WatchWord::Waiting;
  if (word == "seen") return WatchWord::Seen;
  if (word == "settled") return WatchWord::Settled;
  if (word == "ready") return WatchWord::Ready;
  if (word == "expired") return WatchWord::Expired;
  if (word == "stopped") return WatchWord::Stopped;
  return WatchWord::Waiting;
}

// Tells the watcher to stop.
void stop_watcher() { FilePtr f(qlp_fopen(kWatchStopPath, "wb")); }

void toast_wait(std::string_view text) { ui_toast_wait(text.data(), text.size(), kMessageMs); }

// The invoice's payment fields; none when the script did not run or left no usable invoice.
std::optional<InvoiceData> fetch_invoice(std::string_view invoice_id) {
  constexpr std::string_view kPreparing = "Preparing your invoice...";
  ui_toast(kPreparing.data(), kPreparing.size());
  qlp_remove(kInvoicePath);
  const int ran = ScriptLine(kScriptStore, "invoice")
                      .arg(invoice_id, kQuotedInvoiceIdMax)
                      .raw(" >/dev/null 2>&1")
                      .run();
  if (ran < 0) return std::nullopt;
  const std::optional<std::string> text = read_file_alloc(kInvoicePath, kInvoiceReadMax);
  InvoiceData invoice;
  if (!text || !invoice_split_bitcoin_url(*text, invoice)) return std::nullopt;
  return invoice;
}

PayState screen_state(WatchWord word) {
  if (word == WatchWord::Seen) return PayState::Seen;
  if (word == WatchWord::Settled) return PayState::Received;
  return PayState::Waiting;
}

bool is_leave_tap(const PayGeometry& g, int x, int y) {
  return y <= kHeaderBottom || pay_close_tapped(g, x, y);
}
}  // namespace

bool store_pay_and_wait(std::string_view order_id, std::string_view view_key,
                        std::string_view pay_address, std::string_view total, bool bitcoin,
                        std::string_view invoice_id) {
  store.invoice_spent = false;
  std::optional<InvoiceData> invoice;
  if (bitcoin && !invoice_id.empty()) invoice = fetch_invoice(invoice_id);
  qlp_remove(kInvoicePath);
  qlp_remove(kPayStatePath);
  // The watcher leaves the order's downloads before it reports "ready": one left from before must
  // not stand for this order's.
  qlp_remove(kOrderJsonPath);
  ScriptLine(kScriptStore, "watch")
      .arg(order_id, kQuotedOrderIdMax)
      .arg(view_key, kQuotedViewKeyMax)
      .arg(invoice ? invoice_id : "-", kQuotedInvoiceIdMax)
      .raw(" >/dev/null 2>&1 &")
      .run();

  const InvoiceData* shown = invoice ? &*invoice : nullptr;
  PayState state = PayState::Waiting;
  bool on_chain = false;
  bool redraw = true;
  for (;;) {
    if (redraw) {
      payment_qr_screen(pay_address, total, bitcoin, shown, on_chain, state);
      ui_present(true);
      redraw = false;
    }
    TapEvent event;
    const int32_t code = ui_wait_event_timed(event, kPollMs);
    if (code == TAP_TOUCH) {
      const PayGeometry g = pay_geometry(ql_fb().width, ql_fb().height);
      const int x = static_cast<int>(event.x), y = static_cast<int>(event.y);
      if (is_leave_tap(g, x, y)) {
        stop_watcher();
        return false;
      }
      if (pay_switch_tapped(g, x, y) && state == PayState::Waiting && shown &&
          !shown->on_chain.empty()) {
        on_chain = !on_chain;
        redraw = true;
        continue;
      }
    }
    if (ui_redraw_after(code) || code == TAP_APPEARANCE) {
      redraw = true;
      continue;
    }
    const WatchWord word = read_watch_word(order_id);
    if (word == WatchWord::Ready) {
      if (state != PayState::Received) {
        payment_qr_screen(pay_address, total, bitcoin, shown, on_chain, PayState::Received);
        ui_present(true);
      }
      if (!store_order_download(order_id, view_key) && !store_order_check(order_id, view_key))
        toast_wait("Paid. Open Orders and payments to download your book.");
      stop_watcher();
      return true;
    }
    if (word == WatchWord::Expired) {
      store.invoice_spent = true;
      toast_wait("This invoice expired. If you already paid, open Orders and payments.");
      stop_watcher();
      return false;
    }
    if (word == WatchWord::Stopped) {
      constexpr std::string_view kChecking = "Checking your order...";
      ui_toast(kChecking.data(), kChecking.size());
      const bool paid = store_order_check(order_id, view_key);
      if (!paid)
        toast_wait("This payment screen timed out. If you paid, open Orders and payments.");
      stop_watcher();
      return paid;
    }
    const PayState next = screen_state(word);
    if (next != state) {
      state = next;
      redraw = true;
    }
  }
}
