// Purchase downloads: the store script fetches each of the order's books into the documents
// folder, the order is recorded, and the first book greeted.
#include <optional>
#include <string>

#include "app/ui/ui_message.h"
#include "base/json_value.h"
#include "base/paths.h"
#include "base/shell_quote.h"
#include "base/utf8.h"
#include "display/device_scripts.h"
#include "store/download_manager.h"
#include "store/new_books.h"
#include "store/orders_file.h"
#include "store/purchase_thanks.h"
#include "store/store_catalog.h"
#include "store/store_orders.h"
#include "store/store_path_answer.h"

namespace {
constexpr size_t kAddressSize = 1200;
constexpr size_t kQuotedAddressMax = 1393;
constexpr size_t kQuotedTitleMax = 893;
constexpr size_t kShownTitleMax = 299;
constexpr int kMessageMs = 4000;

// Has the store script fetch one book; its device path, or none on failure. An empty address (one
// that was not https or did not fit its buffer) or one too long to pass whole is not fetched: a
// cut one would fetch something else.
std::optional<std::string> download_book(const std::string& address, std::string_view title) {
  if (address.empty() || !shell_quote_fits(address, kQuotedAddressMax)) return std::nullopt;
  std::optional<std::string> path = store_run_for_path(ScriptLine(kScriptStore, "download")
                                                           .arg(address, kQuotedAddressMax)
                                                           .arg(title, kQuotedTitleMax));
  if (!path || !store_path_is_book(*path)) return std::nullopt;
  return path;
}

std::string_view text_at(const JsonValue& object, std::string_view name) {
  return object.string_at(name).value_or(std::string_view());
}

void toast_wait(std::string_view text) { ui_toast_wait(text.data(), text.size(), kMessageMs); }
}  // namespace

std::string store_format_partial_download(size_t k, size_t n) {
  return std::to_string(k) + " of " + std::to_string(n) +
         " books downloaded. Open Orders and payments for the rest.";
}

bool store_record_order_from_json(std::string_view order_id, std::string_view view_key,
                                  const JsonValue& order) {
  std::string_view title;
  const JsonValue* items = order.find("items");
  if (items && items->kind == JsonKind::Array && !items->items.empty())
    title = text_at(items->items.front(), "title");
  return orders_append(order_id, view_key, title);
}

bool store_order_check(std::string_view order_id, std::string_view view_key) {
  // An answer left by an earlier check must not stand for this one.
  qlp_remove(kOrderJsonPath);
  const int ran = ScriptLine(kScriptStore, "order")
                      .arg(order_id, kQuotedOrderIdMax)
                      .arg(view_key, kQuotedViewKeyMax)
                      .raw(" >/dev/null 2>&1")
                      .run();
  if (ran < 0) return false;
  return store_order_download(order_id, view_key);
}

bool store_order_download(std::string_view order_id, std::string_view view_key) {
  const std::optional<std::string> text = read_file_alloc(kOrderJsonPath, kOrderJsonReadMax);
  if (!text) return false;
  const std::optional<JsonValue> root = json_parse(*text);
  // The file may name its order at the root; one naming another order (left by a watcher of an
  // earlier payment) is not this order's.
  const JsonValue* named = root && root->is_object() ? root->find("orderId") : nullptr;
  const bool ours =
      !named || named->kind != JsonKind::String || text_at(*root, "orderId") == order_id;
  const JsonValue* order = root && root->is_object() && ours ? root->find("order") : nullptr;
  const JsonValue* downloads = order && order->is_object() ? order->find("downloads") : nullptr;
  if (!downloads || downloads->kind != JsonKind::Array || downloads->items.empty()) {
    qlp_remove(kOrderJsonPath);
    return false;
  }
  constexpr std::string_view kDownloading = "Paid. Downloading your book...";
  ui_toast(kDownloading.data(), kDownloading.size());
  size_t attempted = 0, stored = 0;
  std::string first_path, first_title;
  for (const JsonValue& entry : downloads->items) {
    if (!entry.is_object()) continue;
    const std::string_view url = text_at(entry, "url");
    if (url.empty()) continue;
    ++attempted;
    const std::string_view title = text_at(entry, "title");
    const std::optional<std::string> path =
        download_book(store_absolute_url(url, kAddressSize), title);
    if (!path) continue;
    new_books_add(*path);
    if (stored++ == 0) {
      first_path = *path;
      first_title = title.substr(0, utf8_prefix_length(title, kShownTitleMax));
    }
  }
  store_record_order_from_json(order_id, view_key, *order);
  qlp_remove(kOrderJsonPath);
  if (stored == 0) {
    toast_wait("Paid, but the download failed. Open Orders and payments to retry.");
    return true;
  }
  if (stored < attempted) toast_wait(store_format_partial_download(stored, attempted));
  store_show_purchased_book(first_path, first_title);
  return true;
}
