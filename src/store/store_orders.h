// The "Payments & orders" list and the downloads of bought books.
#pragma once

#include <string>
#include <string_view>

struct JsonValue;

// The script's answer for one order: {"order": {"downloads": [{"url", "title"}...], "items":
// [{"title"}...]}}. A script may add a root "orderId"; a file naming another order (left by a
// watcher of an earlier payment) is not used.
constexpr char kOrderJsonPath[] = "/mnt/us/ql/state/store-order.json";
constexpr size_t kOrderJsonReadMax = 256 * 1024;

// Returns when the user leaves it or after an order was downloaded.
void store_orders_screen();

// Set when a bought book was shown; the screen that opened the orders list clears it and returns
// at once, so the library or the opened book comes back.
extern bool store_purchase_shown;

// Asks the store script for the order, then downloads it as store_order_download does. False when
// the script did not run or left no usable answer.
bool store_order_check(std::string_view order_id, std::string_view view_key);
// Downloads the books of the order in store-order.json into the library, records the order and
// shows the first book. False when the file is missing, names another order, is not JSON, or has no
// "order" object with a non-empty "downloads" array; otherwise true, whether or not the books
// could be downloaded.
bool store_order_download(std::string_view order_id, std::string_view view_key);
// orders_append with the title of the order's first item.
bool store_record_order_from_json(std::string_view order_id, std::string_view view_key,
                                  const JsonValue& order);
// "k of n books downloaded. Open Orders and payments for the rest."
std::string store_format_partial_download(size_t k, size_t n);
