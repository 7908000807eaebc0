// The store's screens and files under test: the screen fixture, the fake store script at the
// host's runner, a fresh store state, catalogue builders, and frames kept for looking at.
#pragma once
#include <string>
#include <sys/stat.h>
#include <utime.h>

#include "app/ui/ui_message.h"
#include "display/device_facts.h"
#include "fake_store_script.h"
#include "store/store_catalog.h"
#include "store_screen_fixture.h"
#include "support/run_program.h"

// One catalogue member as the store script writes it; `extra` goes in as it is (",\"k\":v").
inline std::string sku_json(const std::string& sku, const std::string& title, int64_t cents,
                            const std::string& author = "An Author",
                            const std::string& currency = "EUR", const std::string& extra = "") {
  return "\"" + sku + "\":{\"format\":\"ebook\",\"sku\":\"" + sku + "\",\"title\":\"" + title +
         "\",\"author\":\"" + author + "\",\"lang\":\"en\",\"img\":\"/covers/" + sku +
         ".jpg\",\"currency\":\"" + currency + "\",\"priceCents\":" + std::to_string(cents) +
         extra + "}";
}
inline std::string catalog_json(const std::vector<std::string>& members) {
  std::string s = "{\"skus\":{";
  for (size_t i = 0; i < members.size(); ++i) s += (i ? "," : "") + members[i];
  return s + "}}";
}

class StoreTest : public StoreScreen {
 protected:
  void SetUp() override {
    StoreScreen::SetUp();
    store = StoreState{};
  }
  void TearDown() override {
    store = StoreState{};
    StoreScreen::TearDown();
  }
  std::string catalog_path() const { return root_.state("store-catalog.json"); }
  // Writes the catalogue file `age_secs` old.
  void place_catalog(const std::string& json, int64_t age_secs = 0) {
    write_file(catalog_path(), json);
    const time_t t = time_t(ql_now() - age_secs);
    const utimbuf times{t, t};
    utime(catalog_path().c_str(), &times);
  }
  void load(const std::vector<std::string>& members) {
    place_catalog(catalog_json(members));
    ASSERT_TRUE(store_load_catalog());
    store.loaded = true;
  }
  // The table's titles in order.
  static std::vector<std::string> titles() {
    std::vector<std::string> out;
    for (size_t i = 0; i < store.count; ++i) out.push_back(store.items[i].title);
    return out;
  }

  // Indices 0..n-1 of the table in the basket.
  static void fill_basket(size_t n) {
    for (size_t i = 0; i < n; ++i) store.basket[i] = uint16_t(i);
    store.basket_count = n;
  }
  // Taps on the checkout's own pages.
  void choose_method(int row) { tap_row(row); }  // 0 Bitcoin, 1 card, 2 Cancel
  void agree() { touches_.touch(W() - 200, H() - 170); }
  void decline() { touches_.touch(200, H() - 170); }

  FakeStoreScript script_{root_};
};
