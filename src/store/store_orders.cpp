#include "store/store_orders.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "app/ui/ui_confirm.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "store/orders_file.h"

bool store_purchase_shown = false;

namespace {
constexpr int kNotYetMs = 3500;
constexpr std::string_view kTitle = "Payments & orders";
constexpr std::array<std::string_view, 2> kFixedRows = {
    "Bitcoin / Lightning: pay by QR from any wallet", "Card (Stripe): pay by QR on your phone"};
constexpr std::string_view kHowTitle = "How payment works";
constexpr std::array<std::string_view, 4> kHowLines = {
    "Corvell Nalo never asks for or stores card numbers.",
    "Checkout shows a QR code. Your phone pays on the secure page.",
    "Your book downloads and opens here the moment payment settles.",
    "Bitcoin works from any wallet, on-chain or Lightning."};

// True when the order was downloaded.
bool download_again(const OrderRow& row) {
  constexpr std::string_view kAsk = "Download this order again?";
  constexpr std::string_view kAction = "Download";
  if (!ui_confirm(kAsk.data(), kAsk.size(), kAction.data(), kAction.size())) return false;
  if (row.view_key.empty()) return false;
  constexpr std::string_view kChecking = "Checking your order...";
  ui_toast(kChecking.data(), kChecking.size());
  if (store_order_check(row.order_id, row.view_key)) return true;
  constexpr std::string_view kNotYet =
      "Not available yet. If you just paid, try again in a minute.";
  ui_toast_wait(kNotYet.data(), kNotYet.size(), kNotYetMs);
  return false;
}
}  // namespace

void store_orders_screen() {
  store_purchase_shown = false;
  for (;;) {
    const std::vector<OrderRow> orders = orders_list();
    std::vector<std::string_view> rows(kFixedRows.begin(), kFixedRows.end());
    for (const OrderRow& order : orders) rows.push_back(order.label);
    const std::optional<size_t> chosen = ui_list_menu(kTitle.data(), kTitle.size(), rows);
    if (!chosen) return;
    if (*chosen < kFixedRows.size()) {
      ui_info_page(kHowTitle.data(), kHowTitle.size(), kHowLines);
      continue;
    }
    if (download_again(orders[*chosen - kFixedRows.size()])) return;
  }
}
