// The store's catalogue: the JSON file the store script fetches, turned into a table of items
// sorted by title, the rule that decides when to fetch it again, and the price and address texts
// every store screen shows. Also the store's run-time state (search, basket, basket id), which
// lives for the whole run and is never written except for the basket id (see store_checkout).
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

constexpr size_t kStoreMaxItems = 1200;
constexpr size_t kStoreBasketMax = 30;
constexpr size_t kStoreSearchSize = 64;  // bytes, NUL included
constexpr size_t kStoreBasketIdSize = 33;
// The catalogue file is read this far; a longer one fails to parse.
constexpr size_t kStoreCatalogMaxBytes = size_t{8} << 20;
// A catalogue file older than this is fetched again at the first store screen of a run.
constexpr int64_t kStoreCatalogMaxAgeSecs = 43200;

constexpr const char* kStoreCatalogPath = "/mnt/us/ql/state/store-catalog.json";
// The previous catalogue while a fetch runs.
constexpr const char* kStoreCatalogOldPath = "/mnt/us/ql/state/store-catalog.json.old";

// One catalogue entry; texts are NUL-terminated and cut at character boundaries.
struct StoreItem {
  int64_t priceCents = 0;  // in cents of `currency`; 0 when the file gives no integer
  char sku[64] = {};       // never empty, unique in the table
  char title[200] = {};
  char author[128] = {};
  char lang[8] = {};
  char img[240] = {};     // cover address as the file gives it (absolute or relative)
  char currency[8] = {};  // at most 3 bytes: "EUR", "USD"
};

// The store's state; only the core thread touches it.
struct StoreState {
  StoreItem items[kStoreMaxItems];
  size_t count = 0;
  // A load or fetch was attempted in this run: the freshness rule runs once per run.
  bool loaded = false;
  // The browse list: indices into items, in catalogue order.
  uint16_t visible[kStoreMaxItems] = {};
  size_t visible_count = 0;
  char search[kStoreSearchSize] = {};
  // Indices into items in the order they were added, none twice.
  uint16_t basket[kStoreBasketMax] = {};
  size_t basket_count = 0;
  // The id the shop knows a repeated checkout of the same basket by (32 hexadecimal digits or
  // empty) and the hash of the request it belongs to.
  char basket_id[kStoreBasketIdSize] = {};
  uint64_t basket_hash = 0;
  // Set by the payment wait when the shop reported the invoice spent (expired); the checkout then
  // discards the basket id.
  bool invoice_spent = false;
};
extern StoreState store;

// Loads the catalogue file into the table; true when the table holds at least one item. A file
// that cannot be opened or parsed, or has no "skus" object, leaves the table as it was.
bool store_load_catalog();
// Fetches the catalogue through the store script (with the "Loading the Corvell catalog..." toast)
// and loads the file it leaves; when that gives no item, the previous file is put back and loaded.
// Marks the catalogue loaded.
void store_catalog_fetch();
// Once per run: loads a file younger than 12 hours, else (or when that yields no item) fetches.
void store_catalog_ensure();
// The catalogue order: titles compared with A-Z folded to lower case, a prefix first.
bool store_item_title_less(const StoreItem& a, const StoreItem& b);

// "$12.05" for USD, "€12.05" for any other code; "-" in front of a negative price.
std::string store_format_price(int64_t cents, std::string_view currency);
// The address to fetch for one the store gave: an "https://" address as it is; a relative one on
// the store's web host (the "store" of ql/servers.conf), joined with exactly one "/", or empty
// while no store host is set. Empty for any other scheme ("http://",
// "ftp:", "//host"), for white space or control characters, and when the result would not fit a
// buffer of `capacity` bytes (NUL included).
std::string store_absolute_url(std::string_view address, size_t capacity);

// At most `size` bytes of a file (a device path); none when it cannot be opened or read.
std::optional<std::string> read_file_alloc(const char* path, size_t size);
