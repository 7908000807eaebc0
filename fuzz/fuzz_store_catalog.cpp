// The store's catalogue file, which arrives from the network through the store script: any bytes
// must load into a table that keeps its promises (at most 1200 items, every sku present and
// unique, titles in catalogue order), and every text read from the JSON must come back unchanged
// through the quoting the checkout request uses.
//
// Input: the catalogue file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/json_value.h"
#include "fuzz_support.h"
#include "store/store_catalog.h"

namespace {
void write_seeds() {
  fuzz::write_seed(
      "catalog.json",
      R"({"skus":{"a":{"format":"ebook","sku":"a","title":"Apple","author":"B","lang":"en",)"
      R"("img":"/c/a.jpg","currency":"EUR","priceCents":499,"warehouse":null},)"
      R"("b":{"format":"ebook","sku":"b\"\\\n","title":"apple","priceCents":4.99}}})");
}

// Every string of the tree, quoted and parsed again, is itself.
void check_round_trip(const JsonValue& v) {
  if (v.is_string()) {
    std::string quoted;
    json_quote_append(quoted, v.text);
    const auto back = json_parse(quoted);
    if (!back || back->text != v.text) __builtin_trap();
  }
  for (const JsonValue& item : v.items) check_round_trip(item);
  for (const JsonMember& m : v.members) check_round_trip(m.value);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::begin(write_seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (const auto tree = json_parse(std::string_view(reinterpret_cast<const char*>(data), size)))
    check_round_trip(*tree);
  fuzz::write_device_file(kStoreCatalogPath, data, size);
  store.count = 0;
  store_load_catalog();
  if (store.count > kStoreMaxItems) __builtin_trap();
  for (size_t i = 0; i < store.count; ++i) {
    const StoreItem& it = store.items[i];
    if (it.sku[0] == '\0' || strnlen(it.currency, sizeof it.currency) > 3) __builtin_trap();
    if (i > 0 && store_item_title_less(it, store.items[i - 1])) __builtin_trap();
    for (size_t j = 0; j < i; ++j) {
      if (strcmp(it.sku, store.items[j].sku) == 0) __builtin_trap();
    }
  }
  return 0;
}
