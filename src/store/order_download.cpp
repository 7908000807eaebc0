// Purchase downloads: the order's books fetched by the download manager into the documents folder,
// the order recorded, and the first book greeted.
#include <unistd.h>

#include <optional>
#include <string>

#include "app/ui/ui_message.h"
#include "base/file_kinds.h"
#include "base/json_value.h"
#include "base/paths.h"
#include "base/utf8.h"
#include "display/device_scripts.h"
#include "store/book_file_name.h"
#include "store/download_manager.h"
#include "store/new_books.h"
#include "store/orders_file.h"
#include "store/purchase_thanks.h"
#include "store/store_catalog.h"
#include "store/store_orders.h"

namespace {
constexpr size_t kAddressSize = 1200;
constexpr size_t kShownPathMax = 599;
constexpr size_t kShownTitleMax = 299;
constexpr int kMessageMs = 4000;
constexpr useconds_t kPollUs = 100 * 1000;
constexpr std::string_view kDefaultExtension = ".epub";

bool is_running(DownloadState s) { return s == DL_DOWNLOADING || s == DL_UNPACKING; }

DownloadState wait_while_running() {
  DownloadState s = ql_dl_state(nullptr, nullptr);
  while (is_running(s)) {
    usleep(kPollUs);
    s = ql_dl_state(nullptr, nullptr);
  }
  return s;
}

// The book's extension as the address names it, in lower case, when the program takes such files
// (books, recordings, audiobook archives); else EPUB.
std::string extension_for(std::string_view address) {
  const std::string_view path = address.substr(0, address.find_first_of("?#"));
  const std::string_view name = path.substr(path.rfind('/') + 1);
  if (!is_accepted_by_drop(name)) return std::string(kDefaultExtension);
  std::string extension(file_extension(name));
  for (char& c : extension) c = ascii_lower(c);
  return extension;
}

// Fetches one book into the documents folder; its device path, or none on failure.
std::optional<std::string> download_book(const std::string& address, std::string_view title) {
  if (address.empty()) return std::nullopt;
  // A download the user started is left to finish; this one follows it.
  wait_while_running();
  std::string dest = std::string(kDocumentsPrefix) + feed_book_file_name(title);
  dest += extension_for(address);
  if (!ql_dl_start(address.c_str(), dest.c_str(), 0)) return std::nullopt;
  const DownloadState end = wait_while_running();
  std::string stored = ql_dl_dest();
  ql_dl_ack();
  if (end != DL_DONE || stored.empty()) return std::nullopt;
  return stored;
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
  const JsonValue* order = root && root->is_object() && text_at(*root, "orderId") == order_id
                               ? root->find("order")
                               : nullptr;
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
      first_path = path->substr(0, utf8_prefix_length(*path, kShownPathMax));
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
