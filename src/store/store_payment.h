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

// The screen's bands, shared by drawing and taps.
constexpr int kPaySwitchTop = 1156;
constexpr int kPaySwitchBottom = 1281;
constexpr int kPayCloseTop = 1285;
constexpr int kPayCloseBottom = 1417;
