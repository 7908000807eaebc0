#include "store/payment_invoice.h"

#include <optional>

#include "base/json_value.h"
#include "base/utf8.h"

namespace {
constexpr size_t kUriMin = 10;
constexpr std::string_view kLightningKey = "lightning=";
constexpr std::string_view kMainNetPrefix = "lnbc";

bool starts_folded(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (ascii_lower(text[i]) != prefix[i]) return false;
  }
  return true;
}
}  // namespace

bool invoice_split_bitcoin_url(std::string_view json_text, InvoiceData& invoice) {
  const std::optional<JsonValue> root = json_parse(json_text);
  if (!root || !root->is_object()) return false;
  const std::optional<std::string_view> uri = root->string_at("invoiceBitcoinUrl");
  if (!uri || uri->size() < kUriMin) return false;
  const size_t key = uri->find(kLightningKey);
  if (key == std::string_view::npos) return false;
  std::string_view request = uri->substr(key + kLightningKey.size());
  request = request.substr(0, request.find('&'));
  if (request.size() < kLightningMin || request.size() > kLightningMax) return false;
  if (!starts_folded(request, kMainNetPrefix)) return false;
  InvoiceData found;
  found.lightning = ascii_upper(request);
  const size_t cut = std::min(uri->find("&pj="), uri->find("&lightning="));
  const std::string_view on_chain = uri->substr(0, cut);
  if (on_chain.size() <= kOnChainMax) found.on_chain = on_chain;
  const std::optional<std::string_view> due = root->string_at("due");
  if (due && due->size() <= kAmountDueMax) found.due = *due;
  invoice = std::move(found);
  return true;
}
