// The Bitcoin invoice the store script fetches for a payment: its Lightning payment request, the
// on-chain payment address and the amount due, taken from the invoice's payment URI.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

constexpr char kInvoicePath[] = "/mnt/us/ql/state/store-invoice.json";
constexpr size_t kInvoiceReadMax = 32 * 1024;
constexpr size_t kLightningMin = 20;
constexpr size_t kLightningMax = 1599;
constexpr size_t kOnChainMax = 299;
constexpr size_t kAmountDueMax = 31;
constexpr size_t kQuotedInvoiceIdMax = 121;  // on the store script's command line

struct InvoiceData {
  std::string lightning;  // upper case, kLightningMin..kLightningMax bytes
  std::string on_chain;   // the URI without its payjoin and Lightning parameters; may be empty
  std::string due;        // the amount in satoshis as the invoice writes it; may be empty
};

// Fills `invoice` from the invoice file's text; true when it carries a usable main-network
// Lightning invoice (`invoice` is left as it was otherwise).
bool invoice_split_bitcoin_url(std::string_view json_text, InvoiceData& invoice);
