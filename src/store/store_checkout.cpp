#include "store/store_checkout.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/ui/ui_frame.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "base/atomic_file.h"
#include "base/json_value.h"
#include "base/paths.h"
#include "base/text_lines.h"
#include "base/utf8.h"
#include "base/wyhash.h"
#include "display/device_scripts.h"
#include "display/fonts.h"
#include "display/framebuffer.h"
#include "store/orders_file.h"
#include "store/store_basket.h"
#include "store/store_catalog.h"
#include "store/store_payment.h"
#include "store/servers.h"

namespace {
constexpr size_t kBasketFileMax = 64;
constexpr size_t kCountryFileMax = 7;
constexpr std::string_view kDefaultCountry = "PT";
constexpr size_t kErrorTextMax = 119;
constexpr size_t kPayAddressSize = 800;
constexpr size_t kInvoiceIdMax = 63;
constexpr int kErrorWaitMs = 4000;
// The payment server's invoice pages: the invoice id is the last part of such an address.
constexpr std::string_view kInvoicePath = "/i/";
// The store's terms page, on its web host.
constexpr std::string_view kTermsPath = "/terms";

struct PayMethod {
  std::string_view label;
  std::string_view code;
};
constexpr std::array<PayMethod, 2> kMethods = {{
    {"Bitcoin / Lightning", "btcpay"},
    {"Card (Visa, Mastercard, more)", "stripe"},
}};
constexpr std::string_view kBitcoin = "btcpay";

constexpr std::string_view kConsent =
    "I request immediate access to my digital items and acknowledge that I lose my 14-day right of "
    "withdrawal once the download begins.";
constexpr std::string_view kMixedCurrencies =
    "These books are priced in different currencies. Buy them separately.";
constexpr std::string_view kNoRandom = "Could not start a secure checkout";
constexpr std::string_view kCreating = "Creating your order...";
constexpr std::string_view kNotAvailable = "Checkout is not available yet on the server";
constexpr std::string_view kOrderNotSaved =
    "Could not save the order, so payment did not start. Check storage.";

void toast(std::string_view text) { ui_toast(text.data(), text.size()); }
void toast_wait(std::string_view text) { ui_toast_wait(text.data(), text.size(), kErrorWaitMs); }

std::optional<std::string_view> choose_method() {
  std::vector<std::string_view> rows;
  for (const PayMethod& m : kMethods) rows.push_back(m.label);
  rows.push_back("Cancel");
  const std::optional<size_t> pick = ui_list_menu("Pay with", 8, rows);
  if (!pick || *pick >= kMethods.size()) return std::nullopt;
  return kMethods[*pick].code;
}

void draw_consent(std::string_view price) {
  const int w = ql_fb().width, h = ql_fb().height;
  ui_draw_header("Confirm");
  const std::string total = "Total " + std::string(price);
  ql_text(total.c_str(), TS_UI_BOLD, 64, 48, 326);
  const int after =
      ui_draw_wrapped(kConsent.data(), kConsent.size(), TS_REGULAR, 40, 48, 426, w - 96, 60);
  ql_text("Sold by Corvell Network O\xC3\x9C", TS_UI, 42, 48, float(after + 30));
  const std::string terms_url = server_address(servers_load().store, kTermsPath);
  if (!terms_url.empty()) {
    const std::string terms = "Terms: " + terms_url;
    ql_text(terms.c_str(), TS_UI, 42, 48, float(after + 110));
  }
  const int bw = (w - 136) / 2;
  const int agree_x = bw + 88;
  ql_frame(48, h - 240, bw, 130, 2);
  ql_frame(agree_x, h - 240, bw, 130, 4);
  const float cw = ql_measure("Cancel", TS_UI, 54);
  ql_text("Cancel", TS_UI, 54, float(48) + (float(bw) - cw) / 2, float(h - 156));
  const float aw = ql_measure("I agree", TS_UI_BOLD, 54);
  ql_text("I agree", TS_UI_BOLD, 54, float(agree_x) + (float(bw) - aw) / 2, float(h - 156));
}

// True when the buyer agreed.
bool consent_page(std::string_view price) {
  for (;;) {
    draw_consent(price);
    ui_present(false);
    TapEvent event;
    ui_wait_event(event);
    if (event.code != TAP_TOUCH || event.y <= uint32_t(kHeaderBottom)) return false;
    const int h = ql_fb().height;
    const int y = int(event.y);
    if (y > h - 250 && y < h - 100) return int(event.x) > ql_fb().width / 2;
  }
}

bool is_decimal(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void keep_basket_id(std::string_view id, uint64_t hash) {
  const size_t n = std::min(id.size(), kStoreBasketIdSize - 1);
  std::copy_n(id.data(), n, store.basket_id);
  store.basket_id[n] = '\0';
  store.basket_hash = hash;
}

// The kept basket id and its hash from store-basket, when the state holds none yet.
void load_basket_file() {
  const std::optional<std::string> line = read_file_alloc(kStoreBasketPath, kBasketFileMax);
  if (!line) return;
  std::vector<std::string_view> fields;
  std::string_view rest = *line;
  while (!rest.empty()) {
    const size_t end = std::min(rest.find_first_of(" \n"), rest.size());
    if (end > 0) fields.push_back(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  uint64_t hash = 0;
  if (!fields.empty() && is_decimal(fields[0])) {
    std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), hash);
  }
  keep_basket_id(fields.size() > 1 ? fields[1] : std::string_view(), hash);
}

void forget_basket_id() {
  keep_basket_id({}, 0);
  qlp_remove(kStoreBasketPath);
}

// The part of an invoice page's address after its last "/", for Bitcoin payments.
std::string invoice_id(const JsonValue& answer) {
  const std::string_view url = answer.string_at("checkoutUrl").value_or("");
  const std::string prefix = server_address(servers_load().payment, kInvoicePath);
  if (prefix.empty() || url.size() <= prefix.size() || !url.starts_with(prefix)) return {};
  const std::string_view id = url.substr(url.rfind('/') + 1);
  return std::string(id.substr(0, utf8_prefix_length(id, kInvoiceIdMax)));
}

std::string_view cut(std::string_view text, size_t max) {
  return text.substr(0, utf8_prefix_length(text, max));
}

// Runs the checkout verb and reads its answer; none after telling the user why.
std::optional<JsonValue> run_checkout() {
  toast(kCreating);
  // An answer left from an earlier checkout must never pass for this one's.
  qlp_remove(kStoreResponsePath);
  ScriptLine(kScriptStore, "checkout").raw(" >/dev/null 2>&1").run();
  const std::optional<std::string> bytes = read_file_alloc(kStoreResponsePath, kStoreResponseMax);
  qlp_remove(kStoreResponsePath);
  if (!bytes) {
    const std::string host(server_host_name(servers_load().store));
    toast("Could not reach " + (host.empty() ? std::string("the store") : host));
    return std::nullopt;
  }
  std::optional<JsonValue> answer = json_parse(*bytes);
  if (!answer) {
    toast(kNotAvailable);
    return std::nullopt;
  }
  if (!answer->is_object()) return std::nullopt;
  return answer;
}
}  // namespace

std::string store_format_checkout_error(std::string_view error) {
  return std::string(cut("Checkout failed: " + std::string(error), kErrorTextMax));
}

std::string hex16_lower(const uint8_t (&bytes)[16]) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const uint8_t b : bytes) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 0xF]);
  }
  return out;
}

std::string store_format_basket_line(uint64_t hash, std::string_view id) {
  return std::to_string(hash) + " " + std::string(id);
}

std::string store_country() {
  const std::string text = read_file_alloc(kStoreCountryPath, kCountryFileMax).value_or("");
  const std::string_view first = std::string_view(text).substr(0, text.find('\n'));
  const std::string_view code = first.substr(0, trimmed_length(first));
  return std::string(code.size() == 2 ? code : kDefaultCountry);
}

std::optional<std::string> store_req_json_head(std::string_view method,
                                               std::span<const uint16_t> items) {
  std::string head = "{\"method\":";
  json_quote_append(head, method);
  head += ",\"items\":[";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) head += ',';
    head += "{\"sku\":";
    json_quote_append(head, store.items[items[i]].sku);
    head += ",\"qty\":1}";
    if (head.size() > kStoreRequestMax) return std::nullopt;
  }
  head += ']';
  if (head.size() > kStoreRequestMax) return std::nullopt;
  return head;
}

uint64_t store_basket_hash(std::string_view head) {
  // The method and the items in order, up to the last item's "}": the array's "]" is not hashed.
  if (head.ends_with(']')) head.remove_suffix(1);
  WyhashStream hasher(0);
  hasher.update(head);
  return hasher.final();
}

std::string store_req_json_tail(std::string_view basket_id, std::string_view country,
                                int64_t total_cents, std::string_view currency) {
  std::string tail = ",\"basketId\":";
  json_quote_append(tail, basket_id);
  tail += ",\"digitalConsent\":true,\"address\":{\"country\":";
  json_quote_append(tail, country);
  tail += "},\"locale\":\"en\",\"acceptedTotalCents\":" + std::to_string(total_cents) +
          ",\"acceptedCurrency\":";
  json_quote_append(tail, currency);
  tail += '}';
  return tail;
}

std::string store_basket_id_current(uint64_t hash) {
  if (store.basket_id[0] == '\0') load_basket_file();
  if (hash == store.basket_hash && store.basket_id[0] != '\0') return store.basket_id;
  uint8_t bytes[16];
  const FilePtr random(fopen("/dev/urandom", "rb"));
  if (!random || fread(bytes, 1, sizeof bytes, random.get()) != sizeof bytes) return {};
  const std::string id = hex16_lower(bytes);
  keep_basket_id(id, hash);
  const std::string line = store_format_basket_line(hash, id);
  file_write_atomic(kStoreBasketPath, line.data(), line.size());
  return id;
}

bool store_checkout(std::span<const uint16_t> items) {
  if (items.empty()) return false;
  // One total in one currency, or none: a sum across currencies would be a wrong price.
  const std::vector<CurrencyTotal> totals = store_totals(items);
  if (totals.size() != 1) {
    toast_wait(kMixedCurrencies);
    return false;
  }
  const CurrencyTotal& total = totals[0];
  const std::string price = store_format_price(total.cents, total.currency);
  const std::optional<std::string_view> method = choose_method();
  if (!method || !consent_page(price)) return false;
  const std::string country = store_country();
  const std::optional<std::string> head = store_req_json_head(*method, items);
  if (!head) return false;
  const std::string basket_id = store_basket_id_current(store_basket_hash(*head));
  if (basket_id.empty()) {
    toast(kNoRandom);
    return false;
  }
  const std::string request =
      *head + store_req_json_tail(basket_id, country, total.cents, total.currency);
  if (request.size() > kStoreRequestMax ||
      !file_write_atomic(kStoreRequestPath, request.data(), request.size())) {
    return false;
  }
  const std::optional<JsonValue> answer = run_checkout();
  if (!answer) return false;
  const std::string_view order_id = answer->string_at("orderId").value_or("");
  const std::string_view view_key = answer->string_at("viewKey").value_or("");
  const std::string_view pay_url = answer->string_at("payUrl").value_or("");
  if (order_id.empty() || view_key.empty() || pay_url.empty()) {
    const std::string_view error = answer->string_at("error").value_or("");
    toast_wait(store_format_checkout_error(error.empty() ? "unknown error" : error));
    return false;
  }
  const std::string pay_address = store_absolute_url(pay_url, kPayAddressSize);
  if (pay_address.empty()) {
    toast_wait(store_format_checkout_error("the payment address is not a secure link"));
    return false;
  }
  if (!orders_append(cut(order_id, kOrderIdMax), cut(view_key, kViewKeyMax),
                     store.items[items[0]].title)) {
    toast_wait(kOrderNotSaved);
    return false;
  }
  const bool bitcoin = *method == kBitcoin;
  store.invoice_spent = false;
  const bool paid =
      store_pay_and_wait(cut(order_id, kOrderIdMax), cut(view_key, kViewKeyMax), pay_address, price,
                         bitcoin, bitcoin ? invoice_id(*answer) : std::string());
  if (paid || store.invoice_spent) forget_basket_id();
  return paid;
}
