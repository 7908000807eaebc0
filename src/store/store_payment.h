// Paying for an order: the payment screen with its card link or Bitcoin/Lightning QR code, held
// until the store script reports the payment, the invoice expires or the user leaves.
#pragma once

#include <cstdint>
#include <string_view>

#include "store/payment_invoice.h"

// The watcher's report: its word on the first line. A second line, when the watcher writes one,
// names the order it watches; a report of another order (a watcher left from an earlier payment)
// reads as still waiting.
constexpr char kPayStatePath[] = "/mnt/us/ql/state/store-pay.state";
// Created (empty) whenever a payment screen ends and at start-up, to stop the watcher.
constexpr char kWatchStopPath[] = "/tmp/ql-watch.stop";

// What the payment screen shows.
enum class PayState : uint8_t { Waiting = 0, Seen = 1, Received = 2 };

// True when the payment was completed (whether or not the books could be downloaded).
bool store_pay_and_wait(std::string_view order_id, std::string_view view_key,
                        std::string_view pay_address, std::string_view total, bool bitcoin,
                        std::string_view invoice_id);

// Draws the payment screen (does not present): the QR code of the Lightning invoice, the on-chain
// address (`on_chain`) or the pay address while waiting, the amount, the hint and the buttons.
void payment_qr_screen(std::string_view pay_address, std::string_view total, bool bitcoin,
                       const InvoiceData* invoice, bool on_chain, PayState state);

// Where the payment screen's parts lie on a screen of width x height, for drawing and taps alike.
// A tall screen stacks the code, the amount, the hint and the two buttons in one column, ending
// 46 px above the bottom (the code shrinks when the column would not fit); a wide one (landscape)
// keeps the code at its full size at the left and stands the rest in a column beside it.
struct PayGeometry {
  int code_x = 0, code_y = 0, code_size = 0;  // the QR code's square
  int column_x = 0, column_width = 0;         // the amount, the hint and the buttons
  int amount_y = 0;                           // the amount's baseline while waiting
  int hint_y = 0;                             // the hint's first baseline
  int switch_top = 0;                         // "Pay on-chain instead" (or back to Lightning)
  int close_top = 0;                          // "Cancel" or "Close"
  int tap_left = 0;  // taps on the buttons' bands count right of this (beside the code)
};
constexpr int kPayButtonHeight = 110;
PayGeometry pay_geometry(int width, int height);
// Taps on a button count from a few pixels above its frame to a few below it.
bool pay_switch_tapped(const PayGeometry& g, int x, int y);
bool pay_close_tapped(const PayGeometry& g, int x, int y);
