#include "store/store_catalog.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

#include "app/ui/ui_message.h"
#include "base/json_value.h"
#include "base/paths.h"
#include "base/utf8.h"
#include "display/device_facts.h"
#include "display/device_scripts.h"
#include "store/servers.h"

StoreState store;

namespace {

constexpr std::string_view kLoadingToast = "Loading the Corvell catalog...";

// Copies `text` into a field, cut before the character that would pass `max` bytes.
template <size_t N>
void copy_field(char (&field)[N], std::string_view text, size_t max = N - 1) {
  const size_t n = utf8_prefix_length(text, std::min(max, N - 1));
  std::copy_n(text.data(), n, field);
  field[n] = '\0';
}

std::string_view text_of(const JsonValue& item, std::string_view name) {
  return item.string_at(name).value_or(std::string_view());
}

// Only e-books are sold here: physical goods carry a warehouse.
bool is_ebook(const JsonValue& item) {
  if (!item.is_object() || text_of(item, "format") != "ebook") return false;
  const JsonValue* warehouse = item.find("warehouse");
  return !warehouse || warehouse->kind == JsonKind::Null;
}

bool is_kept(std::string_view sku) {
  for (size_t i = 0; i < store.count; ++i) {
    if (sku == store.items[i].sku) return true;
  }
  return false;
}

void keep_item(const JsonValue& item, std::string_view sku) {
  StoreItem& it = store.items[store.count++];
  it = StoreItem{};
  copy_field(it.sku, sku);
  copy_field(it.title, text_of(item, "title"));
  copy_field(it.author, text_of(item, "author"));
  copy_field(it.lang, text_of(item, "lang"));
  copy_field(it.img, text_of(item, "img"));
  copy_field(it.currency, text_of(item, "currency"), 3);
  const JsonValue* price = item.find("priceCents");
  if (price && price->kind == JsonKind::Integer) it.priceCents = price->integer;
}

// A scheme ("https:", "mailto:") ends before the first "/", "?" or "#".
bool has_scheme(std::string_view address) {
  const size_t colon = address.find(':');
  return colon != std::string_view::npos && colon < address.find_first_of("/?#");
}

}  // namespace

std::optional<std::string> read_file_alloc(const char* path, size_t size) {
  const FilePtr f(qlp_fopen(path, "rb"));
  if (!f) return std::nullopt;
  std::string bytes;
  char chunk[65536];
  while (bytes.size() < size) {
    const size_t got = fread(chunk, 1, std::min(sizeof chunk, size - bytes.size()), f.get());
    if (got == 0) break;
    bytes.append(chunk, got);
  }
  // A read that failed part-way would hand on a cut file as if it were whole.
  if (ferror(f.get())) return std::nullopt;
  return bytes;
}

bool store_load_catalog() {
  const std::optional<std::string> bytes =
      read_file_alloc(kStoreCatalogPath, kStoreCatalogMaxBytes);
  if (!bytes) return false;
  const std::optional<JsonValue> root = json_parse(*bytes);
  if (!root || !root->is_object()) return false;
  const JsonValue* skus = root->find("skus");
  if (!skus || !skus->is_object()) return false;
  store.count = 0;
  for (const JsonMember& member : skus->members) {
    const JsonValue& item = member.value;
    if (!is_ebook(item)) continue;
    const std::string_view sku = text_of(item, "sku");
    if (sku.empty()) continue;
    // Duplicates are recognised by the sku as it is kept (cut to its field).
    const std::string_view kept_sku =
        sku.substr(0, utf8_prefix_length(sku, sizeof(StoreItem::sku) - 1));
    if (kept_sku.empty() || is_kept(kept_sku)) continue;
    if (store.count == kStoreMaxItems) break;
    keep_item(item, kept_sku);
  }
  std::stable_sort(store.items, store.items + store.count, store_item_title_less);
  return store.count > 0;
}

void store_catalog_fetch() {
  ui_toast(kLoadingToast.data(), kLoadingToast.size());
  // The old file is set aside so it cannot pass for the script's answer, yet stays the catalogue
  // (with its old time, so the next run fetches again) when the fetch brings none. An aside copy
  // left by an interrupted fetch serves the same way.
  qlp_rename(kStoreCatalogPath, kStoreCatalogOldPath);
  struct stat st {};
  const bool has_old = qlp_stat(kStoreCatalogOldPath, &st) == 0;
  ScriptLine(kScriptStore, "catalog").raw(" >/dev/null 2>&1").run();
  if (store_load_catalog()) {
    qlp_remove(kStoreCatalogOldPath);
  } else if (has_old) {
    qlp_rename(kStoreCatalogOldPath, kStoreCatalogPath);
    store_load_catalog();
  }
  store.loaded = true;
}

void store_catalog_ensure() {
  if (store.loaded) return;
  struct stat st {};
  const bool stale = qlp_stat(kStoreCatalogPath, &st) == 0 && st.st_mtime >= 1 &&
                     ql_now() - int64_t(st.st_mtime) > kStoreCatalogMaxAgeSecs;
  if (!stale && store_load_catalog()) {
    store.loaded = true;
    return;
  }
  store_catalog_fetch();
}

bool store_item_title_less(const StoreItem& a, const StoreItem& b) {
  const std::string_view ta(a.title), tb(b.title);
  const size_t n = std::min(ta.size(), tb.size());
  for (size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(ascii_lower(ta[i]));
    const auto cb = static_cast<unsigned char>(ascii_lower(tb[i]));
    if (ca != cb) return ca < cb;
  }
  return ta.size() < tb.size();
}

std::string store_format_price(int64_t cents, std::string_view currency) {
  // The magnitude in unsigned arithmetic, so the most negative price has one too.
  const uint64_t magnitude = cents < 0 ? 0 - uint64_t(cents) : uint64_t(cents);
  std::string out = cents < 0 ? "-" : "";
  out += currency == "USD" ? "$" : "\xE2\x82\xAC";
  out += std::to_string(magnitude / 100);
  out += '.';
  out += char('0' + magnitude % 100 / 10);
  out += char('0' + magnitude % 10);
  return out;
}

std::string store_absolute_url(std::string_view address, size_t capacity) {
  if (address.empty()) return {};
  for (const char c : address) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return {};
  }
  std::string url;
  if (address.starts_with("https://")) {
    if (address.size() == 8) return {};
    url = address;
  } else if (has_scheme(address) || address.starts_with("//")) {
    return {};
  } else {
    if (address.starts_with('/')) address.remove_prefix(1);
    url = server_address(servers_load().store, "/");
    if (url.empty()) return {};
    url.append(address);
  }
  return url.size() < capacity ? url : std::string();
}
