// orders.tsv: one line per order the checkout started (order id, view key, time, first title,
// separated by TABs), oldest first, only ever appended, so a paid order can be downloaded later.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

constexpr char kOrdersPath[] = "/mnt/us/ql/state/orders.tsv";
constexpr size_t kOrdersReadMax = 256 * 1024;  // readers look at this much of the file
constexpr size_t kOrderLineMax = 299;          // a written line with its line feed
constexpr size_t kOrderIdMax = 63;
constexpr size_t kViewKeyMax = 127;
// Quoted for the store script's command line, they are kept within these many bytes.
constexpr size_t kQuotedOrderIdMax = 121;
constexpr size_t kQuotedViewKeyMax = 293;
constexpr size_t kOrderRowsMax = 40;
constexpr size_t kOrderRowLineMax = 398;  // longer lines are not listed
constexpr size_t kOrderRowTextSize = 200;

// One listed order.
struct OrderRow {
  std::string order_id;
  std::string view_key;  // empty when the line has none
  std::string label;     // title "  ·  " order id, within kOrderRowTextSize - 1 bytes
};

// True when the order is in orders.tsv afterwards: already there, or appended now. An id or key
// that is empty, too long or holds a control character is refused (it would split the line); the
// title's control characters become spaces and it is shortened to keep the line within its size.
bool orders_append(std::string_view order_id, std::string_view view_key, std::string_view title);
// The newest orders first, at most kOrderRowsMax.
std::vector<OrderRow> orders_list();
