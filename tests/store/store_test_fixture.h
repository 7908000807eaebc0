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

  // True when `frame` (a shot, or the screen now) shows the toast of `text`, drawn again to
  // compare.
  bool shows_toast(const std::vector<uint8_t>& frame, std::string_view text) {
    const std::vector<uint8_t> keep(ql_fb().pixels, ql_fb().pixels + frame.size());
    const int top = ui_toast_top(text.data(), text.size());
    ql_clear();
    ui_toast(text.data(), text.size());
    bool same = true;
    for (int y = top; same && y < H() - 70; ++y)
      for (int x = 40; same && x < W() - 40; ++x)
        same = frame[size_t(y) * size_t(W()) + size_t(x)] == px(x, y);
    std::copy(keep.begin(), keep.end(), ql_fb().pixels);
    return same;
  }
  bool screen_shows_toast(std::string_view text) {
    return shows_toast(
        std::vector<uint8_t>(ql_fb().pixels, ql_fb().pixels + size_t(W()) * size_t(H())), text);
  }
  bool shot_shows_toast(const std::string& name, std::string_view text) {
    return shows_toast(shots_.at(name), text);
  }

  // What zbarimg reads from the QR code of the frame the screen shows when it next waits.
  void read_qr_at_wait(std::string& text) {
    touches_.at_wait([this, &text] {
      const std::string png = root_.host("qr.png"), out = root_.host("qr.txt");
      ql_png(png.c_str());
      run_program("sh", {"-c", "zbarimg --raw -q '" + png + "' >'" + out + "' 2>/dev/null"}, {},
                  60000);
      text = read_file(out);
      while (!text.empty() && text.back() == '\n') text.pop_back();
    });
  }

  FakeStoreScript script_{root_};
};
