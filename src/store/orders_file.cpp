#include "store/orders_file.h"

#include <cstdio>
#include <string>

#include "app/ui/ui_text.h"
#include "base/paths.h"
#include "base/text_lines.h"
#include "base/tsv_field.h"
#include "base/utf8.h"
#include "display/device_facts.h"

namespace {
std::string read_head() {
  std::string text;
  FilePtr f(qlp_fopen(kOrdersPath, "rb"));
  if (!f) return text;
  text.resize(kOrdersReadMax);
  text.resize(fread(text.data(), 1, text.size(), f.get()));
  return text;
}

bool is_field_safe(std::string_view field, size_t max) {
  if (field.empty() || field.size() > max) return false;
  for (char c : field) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) return false;
  }
  return true;
}

bool is_listed(const std::string& text, std::string_view order_id) {
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line(text.data() + at, end - at);
    if (line.size() > order_id.size() && line.starts_with(order_id) &&
        line[order_id.size()] == '\t')
      return true;
    at = end + 1;
  }
  return false;
}

// The title as one field: control characters are spaces, and it ends at a character boundary
// within `room` bytes.
std::string title_field(std::string_view title, size_t room) {
  return tsv_field_spaced(title.substr(0, utf8_prefix_length(title, room)));
}

// Field `n` (from 0) of a TAB-separated line; empty when the line has fewer.
std::string_view field_of(std::string_view line, size_t n) {
  for (; n > 0; --n) {
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return {};
    line.remove_prefix(tab + 1);
  }
  return line.substr(0, line.find('\t'));
}

OrderRow make_row(std::string_view line) {
  OrderRow row;
  row.order_id = field_of(line, 0);
  const std::string_view key = field_of(line, 1);
  row.view_key = key.substr(0, trimmed_length(key));
  // The id is shown whole; the title gives way when the two do not fit the row.
  constexpr std::string_view kDot = "  ·  ";
  const std::string_view id = std::string_view(row.order_id).substr(0, kOrderIdMax);
  const size_t room = kOrderRowTextSize - 1 - kDot.size() - id.size();
  const std::string_view title = field_of(line, 3);
  const std::string shown(title.substr(0, utf8_prefix_length(title, room)));
  char buffer[kOrderRowTextSize];
  row.label = ui_join_dot(buffer, sizeof buffer, shown, id);
  return row;
}
}  // namespace

bool orders_append(std::string_view order_id, std::string_view view_key, std::string_view title) {
  if (!is_field_safe(order_id, kOrderIdMax) || !is_field_safe(view_key, kViewKeyMax)) return false;
  const std::string text = read_head();
  if (is_listed(text, order_id)) return true;
  std::string line(order_id);
  line += '\t';
  line += view_key;
  line += '\t';
  line += std::to_string(ql_now());
  line += '\t';
  line += title_field(title, kOrderLineMax - 1 - line.size());
  line += '\n';
  // A line cut short by an earlier failed write is ended first, so this one stays whole.
  if (!text.empty() && text.size() < kOrdersReadMax && text.back() != '\n') line.insert(0, 1, '\n');
  FilePtr f(qlp_fopen(kOrdersPath, "ab"));
  if (!f) return false;
  const bool written = fwrite(line.data(), 1, line.size(), f.get()) == line.size();
  return fclose(f.release()) == 0 && written;
}

std::vector<OrderRow> orders_list() {
  std::vector<OrderRow> rows;
  const std::string text = read_head();
  std::string_view rest(text.data(), trimmed_length(text));
  while (!rest.empty() && rows.size() < kOrderRowsMax) {
    const size_t nl = rest.rfind('\n');
    const std::string_view raw = nl == std::string_view::npos ? rest : rest.substr(nl + 1);
    rest = nl == std::string_view::npos ? std::string_view() : rest.substr(0, nl);
    const std::string_view line = raw.substr(0, trimmed_length(raw));
    if (line.empty() || line.size() > kOrderRowLineMax) continue;
    rows.push_back(make_row(line));
  }
  return rows;
}
